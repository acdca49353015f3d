#include "connection_dialog.h"

#include <aygshell.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "../modems/orvane_tapi.h"
#include "../provisioning/orvane_ras.h"
#include "../provisioning/ui_exception.h"
#include "../resources/resource.h"
#include "../text/uistrings.h"
#include "relayout.h"

using namespace orvane_cr;

namespace {

constexpr const WCHAR *default_modem = u"Hayes Compatible on COM1:";
constexpr const WCHAR *phone_numbers[] = {u"*99***1#", u"*99#", u"#777"};
constexpr int proposed_names = 99;
constexpr WPARAM name_limit = 20;

std::u16string window_text(HWND w) {
    int n = GetWindowTextLength(w);
    if (n <= 0) return {};
    std::u16string s(static_cast<std::size_t>(n) + 1, u'\0');
    int got = GetWindowText(w, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return s;
}

bool is_space(char16_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

void trim(std::u16string &s) {
    std::size_t end = s.size();
    while (end > 0 && is_space(s[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && is_space(s[begin])) ++begin;
    s = s.substr(begin, end - begin);
}

std::u16string numbered(const std::u16string &base, int i) {
    // "%s %d"
    std::u16string s = base;
    s += u' ';
    for (char c : std::to_string(i)) s += static_cast<char16_t>(c);
    return s;
}

}  // namespace

BEGIN_MESSAGE_MAP(CConnectionDialog, CDialog)
ON_WM_SIZE()
ON_CBN_SELCHANGE(IDC_OPERATOR, OnOperatorSelChange)
ON_CBN_SELCHANGE(IDC_MODEM, OnModemSelChange)
ON_COMMAND(IDM_CREATE, OnCreateConnection)
ON_COMMAND(IDM_EXIT, OnExit)
END_MESSAGE_MAP()

CConnectionDialog::CConnectionDialog(CWnd *parent)
    : CDialog(IDD_CONNECTION_PORTRAIT, parent),
      m_modemList(std::make_unique<modem_list>()),
      m_hIcon(LoadIcon(AfxGetResourceHandle(), MAKEINTRESOURCE(IDR_MAINFRAME))) {
    orientation_layout_enabled = true;
}

CConnectionDialog::~CConnectionDialog() {
    m_operatorPresets.clear();
    m_modemList.reset();
}

BOOL CConnectionDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    HMENU menu = LoadMenu(AfxGetResourceHandle(), MAKEINTRESOURCE(IDR_MENUBAR));
    RemoveMenu(menu, 0, MF_BYPOSITION);
    InsertMenu(menu, 0, MF_BYPOSITION | MF_STRING, IDM_CREATE, get_ui_string(command_create).c_str());
    RemoveMenu(menu, 1, MF_BYPOSITION);
    InsertMenu(menu, 1, MF_BYPOSITION | MF_STRING, IDM_EXIT, get_ui_string(command_exit).c_str());
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = m_hWnd;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = reinterpret_cast<UINT_PTR>(menu);
    bar.hInstRes = AfxGetInstanceHandle();
    SHCreateMenuBar(&bar);

    set_captions();
    SHDoneButton(m_hWnd, SHDB_SHOWCANCEL);

    std::vector<std::u16string> names;
    try {
        names = m_modemList->modem_names();
    } catch (const ui_exception &) {
        // No modems: the box stays empty; Create says why when it is used.
    }
    for (const std::u16string &name : names) SendDlgItemMessage(IDC_MODEM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (SendDlgItemMessage(IDC_MODEM, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(default_modem)) == CB_ERR) {
        SendDlgItemMessage(IDC_MODEM, CB_SETCURSEL, 0, 0);
    }

    std::u16string name = get_ui_string(default_connection_name);
    for (int i = 1; i <= proposed_names; ++i) {
        if (connection_name_available(name.c_str())) break;
        name = numbered(get_ui_string(default_connection_name), i);
    }
    SendDlgItemMessage(IDC_NAME, EM_LIMITTEXT, name_limit, 0);
    SetDlgItemText(IDC_NAME, name.c_str());

    operator_presets &presets = get_operator_presets(m_operatorPresets);
    HWND operators = GetDlgItem(IDC_OPERATOR);
    ::SendMessage(operators, CB_INITSTORAGE, presets.size(), 0);
    for (std::size_t j = 0; j < presets.size(); ++j) {
        LRESULT index = ::SendMessage(operators, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(presets[j].name.c_str()));
        ::SendMessage(operators, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(j));
    }
    SendDlgItemMessage(IDC_OPERATOR, CB_SETCURSEL, 0, 0);
    OnOperatorSelChange();

    for (const WCHAR *number : phone_numbers) {
        SendDlgItemMessage(IDC_PHONE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));
    }
    SendDlgItemMessage(IDC_PHONE, CB_SETCURSEL, 0, 0);
    if (std::optional<LRESULT> item = operator_item_for_sim()) select_operator(*item);
    m_simChoice = current_choice();
    SHSipPreference(m_hWnd, SIP_UP);
    return TRUE;
}

void CConnectionDialog::OnSize(UINT, int, int) {
    if (!orientation_layout_enabled) return;
    // Before the controls exist there is nothing to move or label.
    if (GetDlgItem(IDC_NAME_LABEL) == nullptr) return;
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    UINT id = height > width ? IDD_CONNECTION_PORTRAIT : IDD_CONNECTION_LANDSCAPE;
    relayout_dialog(AfxGetResourceHandle(), m_hWnd, id);
    set_captions();
}

namespace {
struct control_text {
    int id;
    ui_string_id text;
};
constexpr control_text labels[] = {
    {IDC_APN_LABEL, label_apn},           {IDC_USER_LABEL, label_user_name},
    {IDC_OPERATOR_LABEL, label_operator_name}, {IDC_MODEM_LABEL, label_modem},
    {IDC_NAME_LABEL, label_connection_name},   {IDC_PASSWORD_LABEL, label_password},
    {IDC_PHONE_LABEL, label_phone},
};
constexpr control_text commands[] = {{IDM_CREATE, command_create}, {IDM_EXIT, command_exit}, {IDC_NAME, default_connection_name}};
}  // namespace

ui_string_id orvane_cr::dialog_text_of(int control_or_command) {
    for (const control_text &t : labels) {
        if (t.id == control_or_command) return t.text;
    }
    for (const control_text &t : commands) {
        if (t.id == control_or_command) return t.text;
    }
    return ui_string_id{};
}

void CConnectionDialog::set_captions() {
    SetWindowText(get_ui_string(app_title).c_str());
    for (const auto &l : labels) SetDlgItemText(l.id, get_ui_string(l.text).c_str());
}

void CConnectionDialog::OnCreateConnection() {
    std::u16string name = window_text(GetDlgItem(IDC_NAME));
    std::u16string modem = window_text(GetDlgItem(IDC_MODEM));
    std::u16string apn = window_text(GetDlgItem(IDC_APN));
    std::u16string user = window_text(GetDlgItem(IDC_USER));
    std::u16string password = window_text(GetDlgItem(IDC_PASSWORD));
    std::u16string phone = window_text(GetDlgItem(IDC_PHONE));
    trim(name);
    trim(apn);
    trim(phone);
    connection_request request{name.c_str(), modem.c_str(), apn.c_str(), user.c_str(),
                               password.c_str(), u"",        phone.c_str()};
    create_and_report(request);
}

void CConnectionDialog::create_and_report(const connection_request &request) {
    try {
        create_connection(*m_modemList, request);
    } catch (const ui_exception &e) {
        std::u16string message = e.message();
        MessageBox(message.c_str(), get_ui_string(app_title).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    MessageBox(get_ui_string(connection_created).c_str(), get_ui_string(app_title).c_str(), MB_OK | MB_ICONINFORMATION);
    PostMessage(WM_QUIT, 0, 0);
}

void CConnectionDialog::OnExit() { PostMessage(WM_QUIT, 0, 0); }

void CConnectionDialog::OnOperatorSelChange() {
    LRESULT selected = SendDlgItemMessage(IDC_OPERATOR, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    LRESULT position = SendDlgItemMessage(IDC_OPERATOR, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    if (position < 0 || static_cast<std::size_t>(position) >= get_operator_presets(m_operatorPresets).size()) return;
    auto at = static_cast<std::size_t>(position);
    SetDlgItemText(IDC_APN, get_operator_presets(m_operatorPresets)[at].apn.c_str());
    SetDlgItemText(IDC_USER, get_operator_presets(m_operatorPresets)[at].user.c_str());
    SetDlgItemText(IDC_PASSWORD, get_operator_presets(m_operatorPresets)[at].password.c_str());
    SetDlgItemText(IDC_PHONE, get_operator_presets(m_operatorPresets)[at].phone.c_str());
}

CConnectionDialog::sim_choice CConnectionDialog::current_choice() {
    return {SendDlgItemMessage(IDC_OPERATOR, CB_GETCURSEL, 0, 0), window_text(GetDlgItem(IDC_APN)),
            window_text(GetDlgItem(IDC_USER)), window_text(GetDlgItem(IDC_PASSWORD)), window_text(GetDlgItem(IDC_PHONE))};
}

// The operator box's entry for the chosen modem's SIM: the preset of its network; none without
// a SIM, or when no preset is clearly its operator's.
std::optional<LRESULT> CConnectionDialog::operator_item_for_sim() {
    const std::u16string chosen = window_text(GetDlgItem(IDC_MODEM));
    const modem_entry *modem = nullptr;
    for (const modem_entry &m : m_modemList->modems()) {
        if (m.name == chosen) {
            modem = &m;
            break;
        }
    }
    if (modem == nullptr || modem->sim_operator.empty()) return std::nullopt;
    HWND operators = GetDlgItem(IDC_OPERATOR);
    // The presets named as the SIM's provider, compared as the box compares its entries.
    std::vector<std::size_t> named;
    const LPARAM provider = reinterpret_cast<LPARAM>(modem->sim_provider.c_str());
    LRESULT at = modem->sim_provider.empty() ? CB_ERR : ::SendMessage(operators, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), provider);
    while (at != CB_ERR) {
        named.push_back(static_cast<std::size_t>(::SendMessage(operators, CB_GETITEMDATA, static_cast<WPARAM>(at), 0)));
        LRESULT next = ::SendMessage(operators, CB_FINDSTRINGEXACT, static_cast<WPARAM>(at), provider);
        at = next > at ? next : CB_ERR;  // past the last one the search goes round
    }
    const std::size_t position = preset_for_sim(m_operatorPresets, modem->sim_operator, named);
    if (position == std::u16string::npos) return std::nullopt;
    const LRESULT count = ::SendMessage(operators, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (::SendMessage(operators, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == static_cast<LRESULT>(position)) return i;
    }
    return std::nullopt;
}

void CConnectionDialog::select_operator(LRESULT item) {
    SendDlgItemMessage(IDC_OPERATOR, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    OnOperatorSelChange();
}

// Another modem, another SIM: chosen again, as at the start, unless the user has changed the
// operator or a field since.
void CConnectionDialog::OnModemSelChange() {
    if (!m_simChoice || *m_simChoice != current_choice()) return;
    select_operator(operator_item_for_sim().value_or(0));
    m_simChoice = current_choice();
}
