// The floor of a pixel display's first frame: a process, SDL2, a window of the dialog's size,
// and one line of text set by Pango on the title bar's colour. What the dialog takes beyond
// this is its own.
#include <SDL.h>
#include <pango/pangocairo.h>

#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    int width = std::atoi(argv[1]);
    int height = std::atoi(argv[2]);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *window = SDL_CreateWindow("floor", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, 0);
    SDL_Surface *s = window != nullptr ? SDL_GetWindowSurface(window) : nullptr;
    if (s == nullptr) return 1;
    cairo_surface_t *image = cairo_image_surface_create_for_data(static_cast<unsigned char *>(s->pixels), CAIRO_FORMAT_RGB24,
                                                                 s->w, s->h, s->pitch);
    cairo_t *cr = cairo_create(image);
    cairo_set_source_rgb(cr, 0x1B / 255.0, 0x4F / 255.0, 0x9C / 255.0);
    cairo_paint(cr);
    PangoLayout *layout = pango_cairo_create_layout(cr);
    PangoFontDescription *font = pango_font_description_from_string("Liberation Sans 11px");
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "Orvane Connection Manager", -1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, 10, 40);
    pango_cairo_show_layout(cr, layout);
    cairo_surface_flush(image);
    SDL_UpdateWindowSurface(window);
    for (SDL_Event e; SDL_WaitEvent(&e) != 0 && e.type != SDL_QUIT;) {
    }
    return 0;
}
