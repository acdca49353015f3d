// The one dialog of the program.
#pragma once

#include <afxwin.h>

#include <memory>
#include <optional>
#include <string>

#include "../presets/operator_presets.h"

#include "../text/uistrings.h"

namespace orvane_cr {
class modem_list;
struct connection_request;

// The translated text a control or a soft key of the dialog shows; 0 when it shows none.
ui_string_id dialog_text_of(int control_or_command);
}  // namespace orvane_cr

class CConnectionDialog : public CDialog {
public:
    explicit CConnectionDialog(CWnd *parent = nullptr);
    ~CConnectionDialog() override;

    BOOL OnInitDialog() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnCreateConnection();
    void OnExit();
    void OnOperatorSelChange();
    void OnModemSelChange();
    void set_captions();
    void create_and_report(const orvane_cr::connection_request &request);

    orvane_cr::modem_list *modems() const { return m_modemList.get(); }

private:
    // The operator and the fields as the choice for the modem's SIM left them.
    struct sim_choice {
        LRESULT operator_item = CB_ERR;
        std::u16string apn, user, password, phone;
        bool operator==(const sim_choice &) const = default;
    };
    std::optional<LRESULT> operator_item_for_sim();
    void select_operator(LRESULT item);
    sim_choice current_choice();

    std::unique_ptr<orvane_cr::modem_list> m_modemList;
    std::optional<sim_choice> m_simChoice;
    orvane_cr::operator_presets m_operatorPresets;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()
};
