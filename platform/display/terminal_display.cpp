#define NCURSES_WIDECHAR 1
#include "terminal_display.h"

#include <langinfo.h>
#include <ncursesw/ncurses.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

namespace orvane_platform {
namespace {

enum pair_id : short { pair_bar = 1, pair_field = 2, pair_focus = 3, pair_frame = 4, pair_highlight = 5 };

volatile std::sig_atomic_t pending_signal = 0;

extern "C" void note_signal(int sig) { pending_signal = sig; }

// The signals that end the program: each ends the dialog as if cancelled, so the screen is
// restored on the way out. One ignored when we start (nohup) stays ignored.
void catch_ending_signals() {
    for (int sig : {SIGHUP, SIGQUIT, SIGTERM, SIGINT}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = note_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: a blocked read returns, and the loop sees the flag
        sigaction(sig, &sa, nullptr);
    }
}

std::uint64_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1000u + static_cast<std::uint64_t>(t.tv_nsec) / 1000000u;
}

// True when the terminal has gone: hung up, closed, or at the end of its input.
bool input_gone() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r = poll(&p, 1, 0);
    if (r < 0) return errno != EINTR;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    if ((p.revents & POLLIN) != 0) {
        int waiting = 0;
        if (ioctl(STDIN_FILENO, FIONREAD, &waiting) != 0 || waiting == 0) return true;  // readable, nothing to read: end
    }
    return false;
}

bool codeset_is_utf8() {
    const char *set = nl_langinfo(CODESET);
    return set != nullptr && (std::strcmp(set, "UTF-8") == 0 || std::strcmp(set, "utf8") == 0);
}

}  // namespace

terminal_display::terminal_display() : cell_display(40, 24) {
    // A locale without a character set of its own (C, POSIX) says nothing of the terminal:
    // read and write UTF-8 then, as today's terminals do. Another 8-bit character set is
    // the terminal's own and stays.
    utf8_ = codeset_is_utf8();
    if (!utf8_ && std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0 &&
        std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        utf8_ = true;
    }
    initscr();
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    // Long enough that Alt+key and the keys sent as escape sequences arrive whole; the
    // user's ESCDELAY is taken as it is.
    if (std::getenv("ESCDELAY") == nullptr) set_escdelay(100);
    mousemask(BUTTON1_CLICKED | BUTTON1_PRESSED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
    mouseinterval(0);
    const char *no_color = std::getenv("NO_COLOR");
    if (has_colors() && (no_color == nullptr || no_color[0] == '\0')) {
        start_color();
        use_default_colors();
        init_pair(pair_bar, COLOR_WHITE, COLOR_BLUE);
        init_pair(pair_field, COLOR_BLACK, COLOR_CYAN);
        init_pair(pair_focus, COLOR_BLACK, COLOR_YELLOW);
        init_pair(pair_frame, COLOR_BLACK, COLOR_WHITE);
        init_pair(pair_highlight, COLOR_WHITE, COLOR_BLUE);
        colours_ = true;
    }
    // Pastes arrive marked, so that a pasted tab or line break is not taken for a key.
    putp("\x1b[?2004h");
    std::fflush(stdout);  // putp writes through stdio, the library through its own buffer
    catch_ending_signals();
}

terminal_display::~terminal_display() {
    putp("\x1b[?2004l");
    std::fflush(stdout);
    endwin();
}

int terminal_display::ending_signal() { return pending_signal; }

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
                // Focus is shown by more than its colour: bold with colours, reverse video without.
                bool focused = (p->attr & attr_focus) != 0;
                if (colours_) {
                    pair = focused ? pair_focus : pair_field;
                    if (focused) attr |= A_BOLD;
                } else {
                    attr |= focused ? (A_REVERSE | A_BOLD) : A_UNDERLINE;
                }
            }
            if ((p->attr & attr_bold) != 0) attr |= A_BOLD;
            if ((p->attr & attr_dim) != 0) attr |= A_DIM;
            wchar_t text[CCHARW_MAX + 1] = {};
            text[0] = static_cast<wchar_t>(p->ch);
            std::size_t n = 1;
            for (char32_t m : g.marks_of(*p)) {
                if (n < CCHARW_MAX) text[n++] = static_cast<wchar_t>(m);
            }
            if (!utf8_) {
                // Where the terminal's character set has no such character, a "?".
                char bytes[MB_LEN_MAX];
                std::mbstate_t state{};
                if (std::wcrtomb(bytes, text[0], &state) == static_cast<std::size_t>(-1)) {
                    char32_t stand_in = ascii_stand_in(p->ch);
                    text[0] = stand_in != 0 ? static_cast<wchar_t>(stand_in) : L'?';
                    n = 1;
                }
                text[n] = 0;
            }
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

namespace {

// A key the library names (function keys, arrows, the mouse): false when it brings nothing
// (a mouse event that is neither a click nor the wheel).
bool named_key(wint_t ch, input_event &e) {
    switch (ch) {
    case KEY_RESIZE: e.type = input_event::kind::resize; return true;
    case KEY_F(1): e.k = key::f1; return true;
    case KEY_F(2): e.k = key::f2; return true;
    case KEY_BTAB: e.k = key::backtab; return true;
    case KEY_UP: e.k = key::up; return true;
    case KEY_DOWN: e.k = key::down; return true;
    case KEY_LEFT: e.k = key::left; return true;
    case KEY_RIGHT: e.k = key::right; return true;
    case KEY_HOME: e.k = key::home; return true;
    case KEY_END: e.k = key::end; return true;
    case KEY_PPAGE: e.k = key::page_up; return true;
    case KEY_NPAGE: e.k = key::page_down; return true;
    case KEY_ENTER: e.k = key::enter; return true;
    case KEY_BACKSPACE: e.k = key::backspace; return true;
    case KEY_DC: e.k = key::del; return true;
    case KEY_SLEFT: e.k = key::left; e.shift = true; return true;
    case KEY_SRIGHT: e.k = key::right; e.shift = true; return true;
    case KEY_SHOME: e.k = key::home; e.shift = true; return true;
    case KEY_SEND: e.k = key::end; e.shift = true; return true;
    case KEY_MOUSE: {
        MEVENT m;
        if (getmouse(&m) != OK) return false;
        if ((m.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) != 0) {
            e.type = input_event::kind::wheel;
            e.wheel = (m.bstate & BUTTON4_PRESSED) != 0 ? -1 : 1;
            return true;
        }
        if ((m.bstate & (BUTTON1_CLICKED | BUTTON1_PRESSED)) != 0) {
            e.type = input_event::kind::click;
            e.column = m.x;
            e.row = m.y;
            return true;
        }
        return false;
    }
    default: e.k = key::unbound; return true;
    }
}

// The text of a bracketed paste, up to its end mark ESC [ 201 ~; a terminal that never sends
// the mark ends it by a pause.
std::u32string pasted_text() {
    const std::u32string end_mark = {0x1B, U'[', U'2', U'0', U'1', U'~'};
    std::u32string text;
    timeout(200);
    for (wint_t c = 0; text.size() < 65536 && get_wch(&c) == OK;) {
        text += static_cast<char32_t>(c);
        if (text.size() >= end_mark.size() && text.compare(text.size() - end_mark.size(), end_mark.size(), end_mark) == 0) {
            text.resize(text.size() - end_mark.size());
            break;
        }
    }
    return text;
}

// What Esc starts: Esc itself, or the key of the sequence that follows it, in `e`.
void after_escape(input_event &e) {
    // Esc alone cancels. Esc and more within the escape delay is Alt+key (Alt+1 and
    // Alt+2 are the soft keys, for terminals that keep F1 for themselves), a paste, or a key
    // sent as a sequence the terminal description does not name: never Esc. The
    // library has waited the escape delay already; what followed is in its buffer.
    timeout(0);
    wint_t next = 0;
    int k2 = get_wch(&next);
    e.k = key::unbound;
    if (k2 == ERR) {
        e.k = key::escape;
    } else if (k2 == OK && next == '1') {
        e.k = key::f1;
    } else if (k2 == OK && next == '2') {
        e.k = key::f2;
    } else if (k2 == OK && next == 'O') {
        wint_t last = 0;
        if (get_wch(&last) == OK) {
            if (last == 'M') e.k = key::enter;  // keypad Enter
            if (last == 'P') e.k = key::f1;
            if (last == 'Q') e.k = key::f2;
        }
    } else if (k2 == OK && next == '[') {
        // A control sequence: parameters, then one final byte.
        std::u32string sequence;
        for (int i = 0; i < 32; ++i) {
            wint_t b = 0;
            if (get_wch(&b) != OK) break;
            sequence += static_cast<char32_t>(b);
            if (b >= 0x40 && b <= 0x7E) break;
        }
        // Bracketed paste: the text comes whole, its line breaks and tabs as text, not keys.
        if (sequence == std::u32string{U'2', U'0', U'0', U'~'}) {
            e.k = key::paste;
            e.text = pasted_text();
        }
    }
    timeout(-1);
}

}  // namespace

input_event terminal_display::wait_event() {
    int failures = 0;
    for (;;) {
        input_event e;
        if (pending_signal != 0) return e;  // kind::none: the program ends
        wint_t ch = 0;
        int kind = get_wch(&ch);
        e.type = input_event::kind::key;
        e.time_ms = now_ms();
        if (kind == ERR) {
            // A signal, or the terminal gone (end of input, a read error, a hang-up that was ignored).
            if (pending_signal != 0 || input_gone() || ++failures > 100) return input_event{};
            continue;
        }
        failures = 0;
        if (kind == KEY_CODE_YES) {
            if (named_key(ch, e)) return e;
            continue;
        }
        switch (ch) {
        case 27:
            after_escape(e);
            return e;
        case 9: e.k = key::tab; return e;
        case 10:
        case 13: e.k = key::enter; return e;
        case 8:
        case 127: e.k = key::backspace; return e;
        case 3:  // Ctrl+C: a cancel request
            e.k = key::escape;
            return e;
        case 1:  // Ctrl+A
            e.k = key::select_all;
            return e;
        default:
            if (ch < 0x20) {
                e.k = key::unbound;
                return e;
            }
            e.k = key::character;
            e.ch = static_cast<char32_t>(ch);
            return e;
        }
    }
}

}  // namespace orvane_platform
