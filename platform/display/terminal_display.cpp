#define NCURSES_WIDECHAR 1
#include "terminal_display.h"

#include <ncursesw/ncurses.h>

namespace orvane_platform {
namespace {

enum pair_id : short { pair_bar = 1, pair_field = 2, pair_focus = 3, pair_frame = 4, pair_highlight = 5 };

}  // namespace

terminal_display::terminal_display() {
    initscr();
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    mousemask(BUTTON1_CLICKED | BUTTON1_PRESSED, nullptr);
    mouseinterval(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(pair_bar, COLOR_WHITE, COLOR_BLUE);
        init_pair(pair_field, COLOR_BLACK, COLOR_CYAN);
        init_pair(pair_focus, COLOR_BLACK, COLOR_YELLOW);
        init_pair(pair_frame, COLOR_BLACK, COLOR_WHITE);
        init_pair(pair_highlight, COLOR_WHITE, COLOR_BLUE);
        colours_ = true;
    }
}

terminal_display::~terminal_display() { endwin(); }

void terminal_display::size(int &columns, int &rows) {
    getmaxyx(stdscr, rows, columns);
}

void terminal_display::present(const cell_grid &g) {
    erase();
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.columns; ++c) {
            const cell *p = g.at(c, r);
            if (p->ch == 0) continue;
            attr_t attr = A_NORMAL;
            short pair = 0;
            if ((p->attr & attr_reverse) != 0) {
                if (colours_) {
                    pair = (p->attr & attr_frame) != 0 || r == 0 || r == g.rows - 1 ? pair_bar : pair_highlight;
                } else {
                    attr |= A_REVERSE;
                }
            } else if ((p->attr & attr_frame) != 0) {
                if (colours_) {
                    pair = pair_frame;
                } else {
                    attr |= A_STANDOUT;
                }
            } else if ((p->attr & attr_field) != 0) {
                if (colours_) {
                    pair = (p->attr & attr_focus) != 0 ? pair_focus : pair_field;
                } else {
                    attr |= A_UNDERLINE;
                    if ((p->attr & attr_focus) != 0) attr |= A_BOLD;
                }
            }
            if ((p->attr & attr_bold) != 0) attr |= A_BOLD;
            wchar_t text[2] = {static_cast<wchar_t>(p->ch), 0};
            cchar_t cc;
            setcchar(&cc, text, attr, pair, nullptr);
            mvadd_wch(r, c, &cc);
        }
    }
    if (g.cursor_column >= 0) {
        curs_set(1);
        move(g.cursor_row, g.cursor_column);
    } else {
        curs_set(0);
    }
    refresh();
}

input_event terminal_display::wait_event() {
    for (;;) {
        wint_t ch = 0;
        int kind = get_wch(&ch);
        input_event e;
        e.type = input_event::kind::key;
        if (kind == ERR) continue;
        if (kind == KEY_CODE_YES) {
            switch (ch) {
            case KEY_RESIZE: e.type = input_event::kind::resize; return e;
            case KEY_F(1): e.k = key::f1; return e;
            case KEY_F(2): e.k = key::f2; return e;
            case KEY_BTAB: e.k = key::backtab; return e;
            case KEY_UP: e.k = key::up; return e;
            case KEY_DOWN: e.k = key::down; return e;
            case KEY_LEFT: e.k = key::left; return e;
            case KEY_RIGHT: e.k = key::right; return e;
            case KEY_HOME: e.k = key::home; return e;
            case KEY_END: e.k = key::end; return e;
            case KEY_ENTER: e.k = key::enter; return e;
            case KEY_BACKSPACE: e.k = key::backspace; return e;
            case KEY_DC: e.k = key::del; return e;
            case KEY_MOUSE: {
                MEVENT m;
                if (getmouse(&m) == OK && (m.bstate & (BUTTON1_CLICKED | BUTTON1_PRESSED)) != 0) {
                    e.type = input_event::kind::click;
                    e.column = m.x;
                    e.row = m.y;
                    return e;
                }
                continue;
            }
            default: continue;
            }
        }
        switch (ch) {
        case 27: {
            // Alt+1 and Alt+2 arrive as Esc and the digit, for terminals that keep F1 for themselves.
            nodelay(stdscr, TRUE);
            wint_t next = 0;
            int k2 = get_wch(&next);
            nodelay(stdscr, FALSE);
            if (k2 == OK && next == '1') {
                e.k = key::f1;
            } else if (k2 == OK && next == '2') {
                e.k = key::f2;
            } else {
                if (k2 != ERR) unget_wch(static_cast<wchar_t>(next));
                e.k = key::escape;
            }
            return e;
        }
        case 9: e.k = key::tab; return e;
        case 10:
        case 13: e.k = key::enter; return e;
        case 8:
        case 127: e.k = key::backspace; return e;
        case 3:  // Ctrl+C: a cancel request
            e.k = key::escape;
            return e;
        default:
            if (ch < 0x20) continue;
            e.k = key::character;
            e.ch = static_cast<char32_t>(ch);
            return e;
        }
    }
}

}  // namespace orvane_platform
