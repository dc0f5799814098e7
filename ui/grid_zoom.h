// The zoom of a grid (a QTableView), in percent: its font and its default
// row and column sizes scale with it, from the sizes the grid had when it
// was first zoomed. Kept within 20 .. 1000, as the grids keep it.
#pragma once

class QTableView;

namespace tarvok::ui {

inline constexpr int kMinGridZoom = 20;
inline constexpr int kMaxGridZoom = 1000;

// Sets the zoom, held to 20 .. 1000. Returns the zoom now set.
int SetGridZoom(QTableView* grid, int percent);
// 100 until SetGridZoom is called.
int GridZoom(const QTableView* grid);

}  // namespace tarvok::ui
