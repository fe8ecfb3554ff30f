// Whether a form line makes a control: the grammar and kind table CCtrlWnd::DoCreate uses,
// run without a window.
#ifndef QEL_TOOLS_DESIGNER_DESCRIPTION_CHECK_H_
#define QEL_TOOLS_DESIGNER_DESCRIPTION_CHECK_H_

#include <string>

namespace qel::designer {

// True when DoCreate would make a control of line (unless the platform fails to create
// its window); otherwise false with reason set to one sentence.
bool CheckDescription(std::string const& line, std::string& reason);

// True when a control made from written describes itself as read (CCtrlWnd::GetString) the
// way the line says: the same text, but for what the control's rules decide alone (a
// combo box's height, which is its dropped list's). False when the control corrected a
// value (a negative width, a coordinate that is no number).
bool ReadAsWritten(std::string const& written, std::string const& read);

}  // namespace qel::designer

#endif  // QEL_TOOLS_DESIGNER_DESCRIPTION_CHECK_H_
