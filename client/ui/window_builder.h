#pragma once
// Builds a window's widgets from its definition: each control becomes the Qt widget of its
// kind, placed where the definition puts it, with the component name as its objectName, bound
// to its model and wired to the handlers of the event table.
#include "client/app/window_set.h"
#include "client/core/window_def.h"
#include "client/ui/binder.h"

class QWidget;

namespace vk::ui {

// A window with menus is a QMainWindow (its controls on the central widget). The caller owns
// the widget. Closing it goes through the set (close query, Close, Hide).
QWidget* BuildWindow(Binder& b, WindowSet& set, const WindowDef& def);

}  // namespace vk::ui
