// The chart control kind: a small line chart of one series on Qt Charts. Private to the
// layer, like Internal.h.
#pragma once

#include <utility>
#include <vector>

class QWidget;

namespace gui {

QWidget* MakeChart(QWidget* parent, const char* title);
// Nothing happens for a widget that is not a chart.
void ChartAppend(QWidget* chart, double x, double y);
std::vector<std::pair<double, double>> ChartPointsOf(QWidget* chart);

}  // namespace gui
