// The application-wide screen cursor.
#pragma once

namespace gui {

enum class Cursor { Default = 0, HourGlass = -11, HandPoint = -21 };

void setScreenCursor(Cursor cursor);
Cursor screenCursor();

} // namespace gui
