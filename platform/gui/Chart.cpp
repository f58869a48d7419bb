// A small time-series chart: one line, no legend, axes that grow with the points so the
// whole series is always in view.
#include "platform/gui/Chart.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

#include "platform/gui/Internal.h"

namespace gui {
namespace {

class ChartView : public QChartView {
public:
    // Made with its chart: a view made without one makes a chart of its own, which
    // setChart would let go of without deleting.
    ChartView(QWidget* parent, const char* title) : QChartView(new QChart, parent) {
        QChart* chart = this->chart();
        chart->setTitle(QString::fromUtf8(title));
        QFont f = SystemFont();
        chart->setTitleFont(f);
        chart->legend()->hide();
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(0);
        m_Series = new QLineSeries(chart);
        m_Series->setPointsVisible(true);
        chart->addSeries(m_Series);
        m_X = new QValueAxis(chart);
        m_Y = new QValueAxis(chart);
        QFont small = f;
        small.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.8));
        for (QValueAxis* a : {m_X, m_Y}) {
            a->setLabelsFont(small);
            a->setLabelFormat(QStringLiteral("%.0f"));
            a->setTickCount(5);
        }
        m_X->setRange(0, 1);
        m_Y->setRange(0, 1);
        chart->addAxis(m_X, Qt::AlignBottom);
        chart->addAxis(m_Y, Qt::AlignLeft);
        m_Series->attachAxis(m_X);
        m_Series->attachAxis(m_Y);
        setRenderHint(QPainter::Antialiasing);
        setFrameShape(QFrame::Box);
    }
    void Append(double x, double y) {
        m_Series->append(x, y);
        const auto pts = m_Series->points();
        double x0 = pts.front().x(), x1 = x0, y1 = 0;
        for (const QPointF& p : pts) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y1 = std::max(y1, p.y());
        }
        // Round ticks, headroom above the highest point, and a scale for an all-zero line.
        m_X->setRange(x0, std::max(x1, x0 + 4));
        m_X->applyNiceNumbers();
        m_Y->setRange(0, std::max(4.0, y1 * 1.15));
        m_Y->applyNiceNumbers();
    }
    std::vector<std::pair<double, double>> Points() const {
        std::vector<std::pair<double, double>> out;
        for (const QPointF& p : m_Series->points()) out.emplace_back(p.x(), p.y());
        return out;
    }

private:
    QLineSeries* m_Series = nullptr;
    QValueAxis* m_X = nullptr;
    QValueAxis* m_Y = nullptr;
};

}  // namespace

QWidget* MakeChart(QWidget* parent, const char* title) {
    return new ChartView(parent, title);
}
void ChartAppend(QWidget* chart, double x, double y) {
    if (auto* c = dynamic_cast<ChartView*>(chart)) c->Append(x, y);
}
std::vector<std::pair<double, double>> ChartPointsOf(QWidget* chart) {
    auto* c = dynamic_cast<ChartView*>(chart);
    return c ? c->Points() : std::vector<std::pair<double, double>>{};
}

}  // namespace gui
