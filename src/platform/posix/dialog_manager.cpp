// The modal loop, the controls' behaviour and the platform's dialog calls.
#include "platform/posix/dialog_manager.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace mpegin::platform {
namespace posix {
namespace {

constexpr int kMaxTurns = 100000;  // a user who never ends the dialog gives up eventually

std::vector<DialogSession*>& live_sessions() {
  static std::vector<DialogSession*> sessions;
  return sessions;
}

DialogUser* chosen_user = nullptr;

bool is_class(const ControlState& control, const char* name) {
  return strcasecmp(control.control->class_name, name) == 0;
}

uint32_t button_type(const ControlState& control) { return control.control->style & kButtonTypeMask; }

WParam make_wparam(int id, uint32_t notification) {
  return static_cast<WParam>((static_cast<uint32_t>(id) & 0xFFFFu) | (notification << 16));
}

// The user of a dialog about to be shown: the one set by set_dialog_user, else the one
// MPEGIN_DIALOG names (owned by `owned`), else null.
DialogUser* user_for_dialog(std::unique_ptr<DialogUser>& owned) {
  if (chosen_user != nullptr) return chosen_user;
  const char* choice = std::getenv("MPEGIN_DIALOG");
  const std::string text = choice != nullptr ? choice : "";
  const std::string script_prefix = "script:";
  if (text.compare(0, script_prefix.size(), script_prefix) == 0) {
    owned = std::make_unique<ScriptedDialogUser>(text.substr(script_prefix.size()));
  } else if (text == "terminal" || (text.empty() && isatty(0) && isatty(2))) {
    owned = std::make_unique<TerminalDialogUser>(stdin, stderr);
  }
  return owned.get();
}

struct Target {
  DialogSession* session = nullptr;
  ControlState* control = nullptr;
};

Target resolve(WindowHandle window) {
  for (DialogSession* session : live_sessions()) {
    if (window == session) return {session, nullptr};
    if (ControlState* control = session->control_for(window)) return {session, control};
  }
  return {};
}

ControlState* dialog_item(WindowHandle dialog, int id) {
  Target target = resolve(dialog);
  return target.session != nullptr && target.control == nullptr ? target.session->find(id) : nullptr;
}

}  // namespace

DialogSession::DialogSession(const DialogTemplate& dialog, DialogProc procedure)
    : dialog_(dialog), procedure_(procedure) {
  controls_.reserve(dialog.control_count);
  for (std::size_t i = 0; i < dialog.control_count; ++i) {
    const DialogControlTemplate& control = dialog.controls[i];
    controls_.push_back(ControlState{&control, control.text, false, (control.style & kStyleDisabled) == 0});
  }
}

ControlState* DialogSession::find(int id) {
  for (ControlState& control : controls_) {
    if (control.control->id == id && id != -1) return &control;
  }
  return nullptr;
}

const ControlState* DialogSession::find(int id) const { return const_cast<DialogSession*>(this)->find(id); }

ControlState* DialogSession::control_for(WindowHandle handle) {
  for (ControlState& control : controls_) {
    if (handle == &control) return &control;
  }
  return nullptr;
}

std::string DialogSession::text(int id) const {
  const ControlState* control = find(id);
  return control != nullptr ? control->text : std::string();
}

bool DialogSession::checked(int id) const {
  const ControlState* control = find(id);
  return control != nullptr && control->checked;
}

bool DialogSession::enabled(int id) const {
  const ControlState* control = find(id);
  return control != nullptr && control->enabled;
}

bool DialogSession::in_same_group(std::size_t a, std::size_t b) const {
  auto group_start = [this](std::size_t i) {
    while (i > 0 && (controls_[i].control->style & kStyleGroup) == 0) --i;
    return i;
  };
  return group_start(a) == group_start(b);
}

void DialogSession::command(const ControlState& control, uint32_t notification) {
  send(kWmCommand, make_wparam(control.control->id, notification),
       reinterpret_cast<LParam>(const_cast<ControlState*>(&control)));
}

bool DialogSession::click(int id) {
  ControlState* control = find(id);
  if (ended_ || control == nullptr || !control->enabled || !is_class(*control, "Button")) return false;
  const uint32_t type = button_type(*control);
  if (type == kButtonAutoCheckBox) control->checked = !control->checked;
  if (type == kButtonAutoRadio) {
    const std::size_t index = static_cast<std::size_t>(control - controls_.data());
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (is_class(controls_[i], "Button") && button_type(controls_[i]) == kButtonAutoRadio && in_same_group(i, index)) {
        controls_[i].checked = i == index;
      }
    }
  }
  command(*control, kBnClicked);
  return true;
}

bool DialogSession::type_text(int id, const std::string& text) {
  ControlState* control = find(id);
  if (ended_ || control == nullptr || !control->enabled || !is_class(*control, "Edit")) return false;
  control->text = text;
  command(*control, kEnChange);
  return true;
}

void DialogSession::close() {
  if (!ended_) send(kWmClose, 0, 0);
}

void DialogSession::end(DialogResult result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

void DialogSession::post(uint32_t message, WParam wparam, LParam lparam) {
  posted_.push_back(Message{message, wparam, lparam});
}

DialogResult DialogSession::send(uint32_t message, WParam wparam, LParam lparam) {
  return procedure_(this, message, wparam, lparam);
}

DialogResult DialogSession::run(DialogUser& user, LParam init_param) {
  live_sessions().push_back(this);
  WParam focus = 0;
  for (ControlState& control : controls_) {
    if ((control.control->style & kStyleTabStop) != 0 && control.enabled) {
      focus = reinterpret_cast<WParam>(&control);
      break;
    }
  }
  send(kWmInitDialog, focus, init_param);
  bool user_done = false;
  for (int turn = 0; !ended_ && turn < kMaxTurns; ++turn) {
    if (!posted_.empty()) {
      const Message next = posted_.front();
      posted_.pop_front();
      send(next.message, next.wparam, next.lparam);
    } else if (user_done) {
      break;  // closed by the user, yet the procedure keeps the dialog open
    } else if (!user.act(*this)) {
      user_done = true;
      close();
    }
  }
  live_sessions().erase(std::find(live_sessions().begin(), live_sessions().end(), this));
  return ended_ ? result_ : kDialogFailed;
}

void set_dialog_user(DialogUser* user) { chosen_user = user; }

}  // namespace posix

DialogResult dialog_box_param(ModuleHandle, int template_id, WindowHandle, DialogProc procedure, LParam init_param) {
  const posix::DialogTemplate* dialog = posix::find_dialog_template(template_id);
  if (dialog == nullptr || procedure == nullptr) return kDialogFailed;
  std::unique_ptr<posix::DialogUser> owned;
  posix::DialogUser* user = posix::user_for_dialog(owned);
  if (user == nullptr) return kDialogFailed;
  posix::DialogSession session(*dialog, procedure);
  return session.run(*user, init_param);
}

bool end_dialog(WindowHandle dialog, DialogResult result) {
  posix::Target target = posix::resolve(dialog);
  if (target.session == nullptr || target.control != nullptr) return false;
  target.session->end(result);
  return true;
}

bool check_dlg_button(WindowHandle dialog, int id, uint32_t check) {
  posix::ControlState* control = posix::dialog_item(dialog, id);
  if (control == nullptr) return false;
  control->checked = check == kChecked;
  return true;
}

uint32_t is_dlg_button_checked(WindowHandle dialog, int id) {
  const posix::ControlState* control = posix::dialog_item(dialog, id);
  return control != nullptr && control->checked ? kChecked : kUnchecked;
}

uint32_t get_dlg_item_text(WindowHandle dialog, int id, char* text, int max_count) {
  if (text == nullptr || max_count <= 0) return 0;
  const posix::ControlState* control = posix::dialog_item(dialog, id);
  const std::string value = control != nullptr ? control->text : std::string();
  const std::size_t n = std::min(value.size(), static_cast<std::size_t>(max_count - 1));
  std::memcpy(text, value.data(), n);
  text[n] = '\0';
  return static_cast<uint32_t>(n);
}

bool set_dlg_item_text(WindowHandle dialog, int id, const char* text) {
  posix::ControlState* control = posix::dialog_item(dialog, id);
  if (control == nullptr) return false;
  control->text = text != nullptr ? text : "";
  return true;
}

WindowHandle get_dlg_item(WindowHandle dialog, int id) { return posix::dialog_item(dialog, id); }

bool enable_window(WindowHandle window, bool enable) {
  posix::Target target = posix::resolve(window);
  if (target.control == nullptr) return false;
  const bool was_disabled = !target.control->enabled;
  target.control->enabled = enable;
  return was_disabled;  // as EnableWindow: whether the window was disabled before
}

bool post_message(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  posix::Target target = posix::resolve(window);
  if (target.session == nullptr || target.control != nullptr) return false;
  target.session->post(message, wparam, lparam);
  return true;
}

}  // namespace mpegin::platform
