#include "app/MainFormParts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include "editors/QtTranslation.h"

namespace kv {

QColor ColorFromSetting(int32_t bgr) {
  const auto v = static_cast<uint32_t>(bgr);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

// ---- TMonitorChart ----

// The view owns the chart it is made with (a view made without one would
// make a default chart that setChart leaves to the caller to free).
TMonitorChart::TMonitorChart(QWidget* parent) : QChartView(new QChart, parent) {
  QChart* chart = this->chart();
  chart->legend()->setVisible(true);
  chart->legend()->setAlignment(Qt::AlignBottom);
  timeAxis_ = new QValueAxis(chart);
  speedAxis_ = new QValueAxis(chart);
  timeAxis_->setLabelFormat("%d");
  speedAxis_->setLabelFormat("%d");
  chart->addAxis(timeAxis_, Qt::AlignBottom);
  chart->addAxis(speedAxis_, Qt::AlignLeft);
  static const char* const names[3] = {"SourceBrowseSpeed", "ImportSpeed", "ErrRecordsSpeed"};
  for (int i = 0; i < 3; ++i) {
    series_[i] = new QLineSeries(chart);
    series_[i]->setName(names[i]);
    series_[i]->setObjectName(names[i]);
    chart->addSeries(series_[i]);
    series_[i]->attachAxis(timeAxis_);
    series_[i]->attachAxis(speedAxis_);
  }
  setRenderHint(QPainter::Antialiasing);
  Reset();
}

void TMonitorChart::Reset() {
  chart()->setTitle(QString());
  for (QLineSeries* s : series_) s->clear();
  timeAxis_->setRange(0, kMonitorPagePoints);
  speedAxis_->setMin(0);
}

void TMonitorChart::Apply(const TKVMonitorParam& param) {
  chart()->setBackgroundBrush(ColorFromSetting(param.BKColor));
  const QColor text = chart()->backgroundBrush().color().lightness() < 128 ? Qt::white : Qt::black;
  for (QValueAxis* axis : {timeAxis_, speedAxis_}) axis->setLabelsColor(text);
  chart()->legend()->setLabelColor(text);
  series_[0]->setColor(ColorFromSetting(param.SourceBrowseSpeedColor));
  series_[1]->setColor(ColorFromSetting(param.ImportSpeedColor));
  series_[2]->setColor(ColorFromSetting(param.ErrRecordsSpeedColor));
  speedAxis_->setRange(0, std::max(1, param.MaxSpeedScale));
}

void TMonitorChart::AddSample(double seconds, double source, double import, double errors) {
  if (seconds > timeAxis_->max()) timeAxis_->setRange(seconds - kMonitorPagePoints, seconds);
  const double values[3] = {source, import, errors};
  for (int i = 0; i < 3; ++i) {
    series_[i]->append(seconds, values[i]);
    // Points left of the page are never shown again.
    const int drop = series_[i]->count() - (kMonitorPagePoints + 1);
    if (drop > 0) series_[i]->removePoints(0, drop);
  }
}

// ---- TAboutWnd ----

TAboutWnd::TAboutWnd(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutWnd");
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel("<h2>Vandrel</h2>", this);
  title->setObjectName("lbAboutTitle");
  auto* text = new QLabel(this);
  text->setObjectName("lbAboutText");
  text->setText("Data transfer jobs: datasets, DB links and their field mappings, run in the background.");
  text->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOk");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(title);
  layout->addWidget(text);
  layout->addWidget(buttons);
  LanguageTanslate(*this);
}

}  // namespace kv
