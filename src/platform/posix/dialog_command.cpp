// The steps a user takes on a dialog, and the scripted user who takes them from a list.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/posix/dialog_manager.h"

namespace mpegin::platform::posix {
namespace {

std::string trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool is_button(const ControlState& control) { return strcasecmp(control.control->class_name, "Button") == 0; }

// The id of the button named by `name` (whole text, else a unique prefix); 0 when none or
// several match.
int button_named(const DialogSession& session, const std::string& name) {
  int prefix_match = 0;
  int prefix_count = 0;
  for (std::size_t i = 0; i < session.control_count(); ++i) {
    const ControlState& control = session.control_at(i);
    if (!is_button(control)) continue;
    const std::string text = trim(control.control->text);
    if (strcasecmp(text.c_str(), name.c_str()) == 0) return control.control->id;
    if (strncasecmp(text.c_str(), name.c_str(), name.size()) == 0) {
      prefix_match = control.control->id;
      ++prefix_count;
    }
  }
  return prefix_count == 1 ? prefix_match : 0;
}

int first_control(const DialogSession& session, const char* class_name, uint32_t type_mask, uint32_t type) {
  for (std::size_t i = 0; i < session.control_count(); ++i) {
    const DialogControlTemplate& control = *session.control_at(i).control;
    if (strcasecmp(control.class_name, class_name) == 0 && (control.style & type_mask) == type) return control.id;
  }
  return 0;
}

}  // namespace

bool apply_dialog_command(DialogSession& session, const std::string& step) {
  const std::string text = trim(step);
  if (text.empty()) return session.click(first_control(session, "Button", kButtonTypeMask, kButtonDefaultPush));
  if (text == "close" || text == "q") {
    session.close();
    return true;
  }
  if (text[0] == '=') return session.type_text(first_control(session, "Edit", 0, 0), text.substr(1));
  if (text[0] == '#') {
    char* end = nullptr;
    const long id = std::strtol(text.c_str() + 1, &end, 10);
    return end != text.c_str() + 1 && *end == '\0' && session.click(static_cast<int>(id));
  }
  const int id = button_named(session, text);
  return id != 0 && session.click(id);
}

ScriptedDialogUser::ScriptedDialogUser(const std::string& script) {
  std::size_t start = 0;
  while (start <= script.size()) {
    std::size_t stop = script.find_first_of(";\n", start);
    if (stop == std::string::npos) stop = script.size();
    const std::string step = script.substr(start, stop - start);
    if (!trim(step).empty()) steps_.push_back(step);
    start = stop + 1;
  }
}

bool ScriptedDialogUser::act(DialogSession& session) {
  if (failed_ || next_ >= steps_.size()) return false;
  const std::string& step = steps_[next_++];
  if (!apply_dialog_command(session, step)) {
    std::fprintf(stderr, "dialog script: cannot do \"%s\"\n", step.c_str());
    std::fflush(stderr);
    failed_ = true;
    return false;
  }
  return true;
}

}  // namespace mpegin::platform::posix
