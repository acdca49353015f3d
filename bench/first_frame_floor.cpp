// The floor of a terminal program's first frame: a process, the terminal library and the
// operators file read whole, one screen drawn. What the dialog takes beyond this is its own.
#include <curses.h>

#include <clocale>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    std::FILE *in = std::fopen(argv[1], "rb");
    if (in == nullptr) return 1;
    std::fseek(in, 0, SEEK_END);
    std::string bytes(static_cast<std::size_t>(std::ftell(in)), '\0');
    std::rewind(in);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    std::setlocale(LC_ALL, "");
    initscr();
    mvprintw(0, 1, "%zu bytes read", bytes.size());
    mvaddstr(LINES - 1, 1, "Create");
    mvaddstr(LINES - 1, COLS - 5, "Exit");
    refresh();
    getch();
    endwin();
    return 0;
}
