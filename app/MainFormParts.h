// Parts of the main window that stand on their own: the throughput chart and
// the about window.
#pragma once

#include <QDialog>
#include <QtCharts/QChartView>

#include "environment/Environment.h"

QT_BEGIN_NAMESPACE
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace kv {

// The throughput chart: three line series ("SourceBrowseSpeed",
// "ImportSpeed", "ErrRecordsSpeed") over a time axis in seconds since the
// monitor was last reset (the start of a run). One page shows
// kMonitorPagePoints seconds; when a point passes the page's right edge the
// page scrolls so that the newest point is at the right, and points that
// left the page are dropped, so memory stays flat however long a run lasts.
class TMonitorChart final : public QChartView {
  Q_OBJECT
public:
  static constexpr int kMonitorPagePoints = 180;
  explicit TMonitorChart(QWidget* parent = nullptr);
  // Empties the series and puts the time axis at 0..kMonitorPagePoints.
  void Reset();
  // Background and series colours (0x00BBGGRR as the settings hold them)
  // and the speed axis maximum.
  void Apply(const TKVMonitorParam& param);
  // One sample of records per second at `seconds`.
  void AddSample(double seconds, double source, double import, double errors);
  QLineSeries* Series(int index) const { return series_[index]; }
  QValueAxis* TimeAxis() const { return timeAxis_; }
  QValueAxis* SpeedAxis() const { return speedAxis_; }

private:
  QLineSeries* series_[3] = {};
  QValueAxis* timeAxis_ = nullptr;
  QValueAxis* speedAxis_ = nullptr;
};

// The about window: the program's name, version and a short description.
class TAboutWnd final : public QDialog {
  Q_OBJECT
public:
  explicit TAboutWnd(QWidget* parent = nullptr);
};

// A settings colour (0x00BBGGRR) as a QColor.
QColor ColorFromSetting(int32_t bgr);

}  // namespace kv
