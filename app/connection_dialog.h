// The one dialog of the program.
#pragma once

#include <afxwin.h>

#include <memory>

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
    void set_captions();
    void create_and_report(const orvane_cr::connection_request &request);

    orvane_cr::modem_list *modems() const { return m_modemList.get(); }

private:
    std::unique_ptr<orvane_cr::modem_list> m_modemList;
    orvane_cr::operator_presets m_operatorPresets;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()
};
