// The pixel display: the screen in a desktop window (SDL2), zoomed by whole pixels, or kept
// offscreen for screenshots; and the module's entry point.
#include <SDL.h>
#include <utf8.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <string_view>
#include <memory>
#include <string>

#include "pixel_surface.h"

namespace orvane_platform {
namespace {

volatile std::sig_atomic_t pending_signal = 0;

// The signals that end the program end the dialog as if cancelled, as in the terminal; the
// program then ends by the signal. One ignored when we start (nohup) stays ignored.
extern "C" void note_signal(int sig) { pending_signal = sig; }

void catch_ending_signals() {
    for (int sig : {SIGHUP, SIGQUIT, SIGTERM, SIGINT}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = note_signal;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

key key_of(const SDL_Keysym &k) {
    bool alt = (k.mod & KMOD_ALT) != 0;
    switch (k.sym) {
    case SDLK_F1: return key::f1;
    case SDLK_F2: return key::f2;
    case SDLK_1: return alt ? key::f1 : key::none;
    case SDLK_2: return alt ? key::f2 : key::none;
    case SDLK_TAB: return (k.mod & KMOD_SHIFT) != 0 ? key::backtab : key::tab;
    case SDLK_UP: return key::up;
    case SDLK_DOWN: return key::down;
    case SDLK_LEFT: return key::left;
    case SDLK_RIGHT: return key::right;
    case SDLK_HOME: return key::home;
    case SDLK_END: return key::end;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return key::enter;
    case SDLK_ESCAPE: return key::escape;
    case SDLK_BACKSPACE: return key::backspace;
    case SDLK_DELETE: return key::del;
    case SDLK_PAGEUP: return key::page_up;
    case SDLK_PAGEDOWN: return key::page_down;
    default: return key::none;  // characters come as text
    }
}

class screen_display : public pixel_display {
public:
    explicit screen_display(const pixel_screen &screen) : screen_(screen), pixels_(screen) {}
    ~screen_display() override {
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        // All of SDL, so that it lets go of the session bus it opened for the window too.
        if (sdl_) SDL_Quit();
    }
    screen_display(const screen_display &) = delete;
    screen_display &operator=(const screen_display &) = delete;

    // Opens the desktop window; false, with `error` set, when there is no desktop.
    bool open_window(std::string &error) {
        auto set = [](const char *name) {
            const char *value = std::getenv(name);
            return value != nullptr && *value != 0;
        };
        if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("SDL_VIDEODRIVER")) {
            error = "no desktop to show the window on: neither DISPLAY nor WAYLAND_DISPLAY is set";
            return false;
        }
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Without a Wayland desktop, X11 straight away: no probe that complains about the
        // session's runtime folder first.
        if (!set("WAYLAND_DISPLAY") && !set("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            error = std::string("no desktop to show the window on: ") + SDL_GetError();
            return false;
        }
        sdl_ = true;
        // With no desktop SDL falls back to drawing nowhere; that is no window to use unless
        // the user asked for it by name.
        const char *current = SDL_GetCurrentVideoDriver();
        std::string_view driver = current != nullptr ? current : "";
        if ((driver == "offscreen" || driver == "dummy") && !set("SDL_VIDEODRIVER")) {
            error = "no desktop to show the window on: neither DISPLAY nor WAYLAND_DISPLAY leads to one";
            return false;
        }
        if (!fit_desktop(error)) return false;
        // Shown with its first frame, where it stays: nothing is clicked before the dialog is there.
        window_ = SDL_CreateWindow("Orvane Connection Manager", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   screen_.width * screen_.zoom, screen_.height * screen_.zoom, SDL_WINDOW_HIDDEN);
        if (window_ == nullptr) {
            std::string why = SDL_GetError();
            if (!why.empty() && why.back() == '.') why.pop_back();
            error = "the window cannot be made (" + why + "): " + what_fits(0);
            return false;
        }
        SDL_StartTextInput();
        catch_ending_signals();
        return true;
    }

    void size(int &width, int &height) override {
        width = screen_.width;
        height = screen_.height;
    }
    surface &screen() override { return pixels_; }
    void paint(const std::function<void(surface &)> &draw) override {
        draw(pixels_);
        pixels_.flush();
        show();
    }
    input_event wait_event() override;
    std::string png(std::string &error) override;
    std::string font_family() override { return pixels_.font_family(); }
    int ending_signal() override { return pending_signal; }
    void record_cuts(std::vector<cut_text> *cuts) override { pixels_.record_cuts(cuts); }

private:
    void show();
    // The zoom, and the orientation, at which the window fits the desktop; false, with
    // `error` saying what would fit, when the screen cannot be shown whole. A desktop that does
    // not say its size takes what is asked.
    bool fit_desktop(std::string &error) {
        SDL_Rect desk{};
        if (SDL_GetDisplayUsableBounds(0, &desk) != 0 || desk.w <= 0 || desk.h <= 0) {
            if (screen_.zoom == 0) screen_.zoom = 1;
            return true;
        }
        desk_w_ = desk.w;
        desk_h_ = desk.h;
        auto fits = [&](int w, int h, int z) { return w * z <= desk.w && h * z <= desk.h; };
        auto largest = [&](int w, int h) {
            for (int z = 8; z >= 1; --z) {
                if (fits(w, h, z)) return z;
            }
            return 0;
        };
        if (screen_.zoom != 0) {
            if (fits(screen_.width, screen_.height, screen_.zoom)) return true;
            error = what_fits(largest(screen_.width, screen_.height));
            return false;
        }
        // The largest zoom at which it fits turned either way (F9 turns it), else as it is,
        // else turned to landscape from the start.
        const int side = std::max(screen_.width, screen_.height);
        if (int z = largest(side, side); z > 0) {
            screen_.zoom = z;
        } else if (fits(screen_.width, screen_.height, 1)) {
            screen_.zoom = 1;
        } else if (fits(screen_.height, screen_.width, 1)) {
            screen_.zoom = 1;
            std::swap(screen_.width, screen_.height);
            pixels_.set_size(screen_.width, screen_.height);
        } else {
            screen_.zoom = 1;
            error = what_fits(0);
            return false;
        }
        return true;
    }
    std::string what_fits(int fits) const {
        std::string at = "the screen of " + std::to_string(screen_.width) + " x " + std::to_string(screen_.height) +
                         " at zoom " + std::to_string(screen_.zoom) + " is " + std::to_string(screen_.width * screen_.zoom) +
                         " x " + std::to_string(screen_.height * screen_.zoom) + " desktop pixels";
        if (desk_w_ > 0) at += ", the desktop " + std::to_string(desk_w_) + " x " + std::to_string(desk_h_);
        if (fits > 0) return at + ": set zoom = " + std::to_string(fits) + " in device.toml's [screen], or leave zoom out";
        return at + ": set a smaller width and height in device.toml's [screen]";
    }

    pixel_screen screen_;
    pixel_surface pixels_;
    SDL_Window *window_ = nullptr;
    bool sdl_ = false;
    std::u32string typed_;  // characters of one text event, handed out one at a time
    std::size_t typed_at_ = 0;
    std::uint64_t typed_time_ = 0;
    bool chord_ = false;
    int desk_w_ = 0;
    int desk_h_ = 0;  // a key held with Ctrl or Alt: the text it makes is not typed
    std::string valid_;
};

// The screen's pixels, each a square of zoom x zoom in the window.
void screen_display::show() {
    if (window_ == nullptr) return;
    SDL_Surface *target = SDL_GetWindowSurface(window_);
    if (target == nullptr) return;
    cairo_surface_t *image = pixels_.image();
    SDL_Surface *source = SDL_CreateRGBSurfaceWithFormatFrom(
        cairo_image_surface_get_data(image), cairo_image_surface_get_width(image), cairo_image_surface_get_height(image), 32,
        cairo_image_surface_get_stride(image), SDL_PIXELFORMAT_RGB888);
    if (source == nullptr) return;
    SDL_Rect to{0, 0, screen_.width * screen_.zoom, screen_.height * screen_.zoom};
    SDL_BlitScaled(source, nullptr, target, &to);
    SDL_FreeSurface(source);
    if ((SDL_GetWindowFlags(window_) & SDL_WINDOW_HIDDEN) != 0) SDL_ShowWindow(window_);
    SDL_UpdateWindowSurface(window_);
}

input_event screen_display::wait_event() {
    input_event e;
    if (window_ == nullptr) return e;  // offscreen: no input
    for (;;) {
        if (typed_at_ < typed_.size()) {
            e.type = input_event::kind::key;
            e.k = key::character;
            e.ch = typed_[typed_at_++];
            e.time_ms = typed_time_;
            return e;
        }
        SDL_Event ev;
        // Woken a few times a second to see whether a signal asked the dialog to end (a
        // handler may not touch SDL's queue). A lost desktop ends the process in Xlib.
        if (SDL_WaitEventTimeout(&ev, 100) == 0) {
            if (pending_signal != 0) return e;
            continue;
        }
        e.time_ms = ev.common.timestamp;
        switch (ev.type) {
        case SDL_QUIT:
            return input_event{};
        case SDL_WINDOWEVENT:
            if (ev.window.event == SDL_WINDOWEVENT_EXPOSED) show();
            if (ev.window.event == SDL_WINDOWEVENT_CLOSE) return input_event{};
            break;
        case SDL_TEXTINPUT: {
            if (chord_) {
                chord_ = false;
                break;
            }
            typed_.clear();
            typed_at_ = 0;
            typed_time_ = ev.text.timestamp;
            std::string_view bytes(ev.text.text);
            utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(valid_));
            utf8::utf8to32(valid_.begin(), valid_.end(), std::back_inserter(typed_));
            valid_.clear();
            break;
        }
        case SDL_KEYDOWN:
            if (ev.key.keysym.sym == SDLK_F9) {
                // The handheld turned: width and height swap, and the window with them.
                std::swap(screen_.width, screen_.height);
                pixels_.set_size(screen_.width, screen_.height);
                SDL_SetWindowSize(window_, screen_.width * screen_.zoom, screen_.height * screen_.zoom);
                e.type = input_event::kind::resize;
                return e;
            }
            if ((ev.key.keysym.mod & KMOD_CTRL) != 0) {
                // As in the terminal: Ctrl+C cancels as Esc does, Ctrl+A selects all; Ctrl+V
                // pastes the desktop's clipboard.
                SDL_Keycode sym = ev.key.keysym.sym;
                if (sym == SDLK_c || sym == SDLK_a) {
                    chord_ = true;
                    e.type = input_event::kind::key;
                    e.k = sym == SDLK_c ? key::escape : key::select_all;
                    return e;
                }
                if (sym == SDLK_v && SDL_HasClipboardText() == SDL_TRUE) {
                    chord_ = true;
                    char *text = SDL_GetClipboardText();
                    std::string_view bytes(text != nullptr ? text : "");
                    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(valid_));
                    SDL_free(text);
                    e.type = input_event::kind::key;
                    e.k = key::paste;
                    utf8::utf8to32(valid_.begin(), valid_.end(), std::back_inserter(e.text));
                    valid_.clear();
                    return e;
                }
            }
            // Alt with another key is ignored, as in the terminal; AltGr still types.
            chord_ = (ev.key.keysym.mod & (KMOD_CTRL | KMOD_LALT)) != 0;
            e.k = key_of(ev.key.keysym);
            e.shift = (ev.key.keysym.mod & KMOD_SHIFT) != 0;
            if (e.k != key::none) {
                e.type = input_event::kind::key;
                return e;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (ev.button.button == SDL_BUTTON_LEFT) {
                e.type = ev.type == SDL_MOUSEBUTTONDOWN ? input_event::kind::click : input_event::kind::release;
                e.column = ev.button.x / screen_.zoom;
                e.row = ev.button.y / screen_.zoom;
                return e;
            }
            break;
        case SDL_MOUSEMOTION:
            if ((ev.motion.state & SDL_BUTTON_LMASK) != 0) {
                e.type = input_event::kind::drag;
                e.column = ev.motion.x / screen_.zoom;
                e.row = ev.motion.y / screen_.zoom;
                return e;
            }
            break;
        case SDL_MOUSEWHEEL:
            if (ev.wheel.y != 0) {
                e.type = input_event::kind::wheel;
                e.wheel = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? ev.wheel.y : -ev.wheel.y;
                return e;
            }
            break;
        default:
            break;
        }
    }
}

std::string screen_display::png(std::string &error) {
    std::string bytes;
    pixels_.flush();
    cairo_status_t status = cairo_surface_write_to_png_stream(
        pixels_.image(),
        [](void *out, const unsigned char *data, unsigned int length) {
            static_cast<std::string *>(out)->append(reinterpret_cast<const char *>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return {};
    }
    return bytes;
}

}  // namespace
}  // namespace orvane_platform

extern "C" __attribute__((visibility("default"))) orvane_platform::pixel_display *orvane_make_pixel_display(
    const orvane_platform::pixel_screen &screen, bool window, std::string &error) {
    try {
        auto d = std::make_unique<orvane_platform::screen_display>(screen);
        if (window && !d->open_window(error)) return nullptr;
        return d.release();
    } catch (const std::exception &e) {
        error = e.what();
        return nullptr;
    }
}
