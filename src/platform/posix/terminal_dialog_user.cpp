// The dialog as a text form on a terminal.
#include <algorithm>
#include <cstdio>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/posix/dialog_manager.h"

namespace mpegin::platform::posix {
namespace {

constexpr int kUnitsPerColumn = 4;  // horizontal dialog units per character
constexpr int kRowTolerance = 5;    // controls this close vertically share a row

bool is_rule(const DialogControlTemplate& control) {
  const uint32_t type = control.style & kStaticTypeMask;
  return strcasecmp(control.class_name, "Static") == 0 && (type == kStaticGrayFrame || type == kStaticEtchedHorizontal);
}

std::string control_text(const ControlState& state) {
  const DialogControlTemplate& control = *state.control;
  const int columns = std::max(1, control.width / kUnitsPerColumn);
  std::string text;
  if (strcasecmp(control.class_name, "Button") == 0) {
    switch (control.style & kButtonTypeMask) {
      case kButtonRadio:
      case kButtonAutoRadio:
        text = std::string(state.checked ? "(*) " : "( ) ") + state.text;
        break;
      case kButtonCheckBox:
      case kButtonAutoCheckBox:
        text = std::string(state.checked ? "[x] " : "[ ] ") + state.text;
        break;
      case kButtonDefaultPush:
        text = "<< " + state.text + " >>";
        break;
      default:
        text = "< " + state.text + " >";
        break;
    }
  } else if (strcasecmp(control.class_name, "Edit") == 0) {
    text = "[" + state.text + std::string(std::max<int>(0, columns - static_cast<int>(state.text.size())), ' ') + "]";
  } else {
    text = is_rule(control) ? std::string(columns, '-') : state.text;
  }
  if (!state.enabled) text += " (disabled)";
  return text;
}

}  // namespace

std::string render_dialog(const DialogSession& session) {
  std::vector<const ControlState*> order;
  for (std::size_t i = 0; i < session.control_count(); ++i) order.push_back(&session.control_at(i));
  std::stable_sort(order.begin(), order.end(), [](const ControlState* a, const ControlState* b) {
    return a->control->y != b->control->y ? a->control->y < b->control->y : a->control->x < b->control->x;
  });

  const DialogTemplate& dialog = session.dialog_template();
  std::string form = "== " + std::string(dialog.caption) + " ==\n";
  std::size_t i = 0;
  while (i < order.size()) {
    const int row_top = order[i]->control->y;
    std::vector<const ControlState*> row;
    // A rule is a row of its own; other controls this close vertically share one.
    const bool rule = is_rule(*order[i]->control);
    row.push_back(order[i++]);
    for (; !rule && i < order.size() && !is_rule(*order[i]->control) && order[i]->control->y - row_top <= kRowTolerance;
         ++i) {
      row.push_back(order[i]);
    }
    std::stable_sort(row.begin(), row.end(),
                     [](const ControlState* a, const ControlState* b) { return a->control->x < b->control->x; });
    std::string line;
    for (const ControlState* control : row) {
      const std::size_t column = static_cast<std::size_t>(control->control->x / kUnitsPerColumn);
      line += std::string(column > line.size() ? column - line.size() : (line.empty() ? 0 : 1), ' ');
      line += control_text(*control);
    }
    form += line + "\n";
  }
  return form;
}

bool TerminalDialogUser::act(DialogSession& session) {
  std::string choices;
  for (std::size_t i = 0; i < session.control_count(); ++i) {
    const ControlState& control = session.control_at(i);
    if (strcasecmp(control.control->class_name, "Button") == 0 && control.enabled) {
      choices += (choices.empty() ? "" : ", ") + control.text;
    }
  }
  std::fprintf(out_, "\n%s%s; =<text> fills the field; Enter presses the default button; q closes\n> ",
               render_dialog(session).c_str(), choices.c_str());
  std::fflush(out_);
  char line[256];
  if (std::fgets(line, sizeof line, in_) == nullptr) return false;
  if (!apply_dialog_command(session, line)) {
    std::fprintf(out_, "Not a choice here: %s", line);
    std::fflush(out_);
  }
  return true;
}

}  // namespace mpegin::platform::posix
