// The POSIX modal dialog manager: builds a dialog from its template, keeps each control's
// text, check and enabled state, and delivers WM_INITDIALOG, WM_COMMAND and WM_CLOSE to the
// dialog procedure. Instead of a screen and a mouse it has a DialogUser, who looks at the
// controls and clicks, types or closes the window.
//
// Which user sits in front of a dialog: the one given to set_dialog_user, else the
// environment variable MPEGIN_DIALOG:
//   "terminal"         the text form on standard input and standard error
//   "script:<steps>"   a scripted user; steps separated by ';' (see apply_dialog_command)
//   "none"             nobody: the dialog cannot be shown
//   unset or empty     the text form when standard input and standard error are terminals,
//                      otherwise nobody.
#pragma once

#include <cstddef>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/dialog_template.h"

namespace mpegin::platform::posix {

class DialogSession;

class DialogUser {
 public:
  virtual ~DialogUser() = default;
  // Called whenever the dialog waits for input. Returns false when the user has nothing more
  // to do; the window is then closed as with close().
  virtual bool act(DialogSession& session) = 0;
};

struct ControlState {
  const DialogControlTemplate* control;
  std::string text;
  bool checked = false;
  bool enabled = true;
};

class DialogSession {
 public:
  DialogSession(const DialogTemplate& dialog, DialogProc procedure);

  const DialogTemplate& dialog_template() const { return dialog_; }
  std::size_t control_count() const { return controls_.size(); }
  const ControlState& control_at(std::size_t index) const { return controls_[index]; }
  ControlState* find(int id);
  const ControlState* find(int id) const;

  // What a user sees. Unknown ids read as empty, unchecked and disabled.
  std::string text(int id) const;
  bool checked(int id) const;
  bool enabled(int id) const;

  // What a user does. Each returns false when the control cannot take the action (unknown,
  // disabled, of another kind, or the dialog has ended).
  bool click(int id);                             // a button: auto buttons change state first
  bool type_text(int id, const std::string& text);  // replaces an edit control's text
  void close();                                   // the window frame's close request

  bool ended() const { return ended_; }
  DialogResult result() const { return result_; }

  // Used by the platform calls.
  ControlState* control_for(WindowHandle handle);  // null when handle is none of its controls
  void end(DialogResult result);
  void post(uint32_t message, WParam wparam, LParam lparam);
  DialogResult run(DialogUser& user, LParam init_param);

 private:
  struct Message {
    uint32_t message;
    WParam wparam;
    LParam lparam;
  };
  DialogResult send(uint32_t message, WParam wparam, LParam lparam);
  void command(const ControlState& control, uint32_t notification);
  bool in_same_group(std::size_t a, std::size_t b) const;

  const DialogTemplate& dialog_;
  DialogProc procedure_;
  std::vector<ControlState> controls_;
  std::deque<Message> posted_;
  bool ended_ = false;
  DialogResult result_ = 0;
};

// Overrides MPEGIN_DIALOG for this process; null returns to the environment's choice.
void set_dialog_user(DialogUser* user);

// Performs one step of a user, as typed on the text form or written in a script:
//   "#<id>"          click the control with that id
//   "=<text>"        type <text> into the (first) edit field
//   "close" or "q"   close the window
//   ""               press the default button
//   anything else    click the button whose text is that, or starts with it (ignoring case
//                    and surrounding blanks), when exactly one does
// Returns false when the step names nothing that can take it.
bool apply_dialog_command(DialogSession& session, const std::string& step);

// Follows a list of steps separated by ';' or new lines, one step per turn.
class ScriptedDialogUser : public DialogUser {
 public:
  explicit ScriptedDialogUser(const std::string& script);
  bool act(DialogSession& session) override;
  bool failed() const { return failed_; }

 private:
  std::vector<std::string> steps_;
  std::size_t next_ = 0;
  bool failed_ = false;
};

// The dialog as a small text form: prints the controls in their layout and reads one step
// per line.
class TerminalDialogUser : public DialogUser {
 public:
  TerminalDialogUser(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}
  bool act(DialogSession& session) override;

 private:
  std::FILE* in_;
  std::FILE* out_;
};

// The form as text, one line per row of controls.
std::string render_dialog(const DialogSession& session);

}  // namespace mpegin::platform::posix
