#include "FlashForm.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "editors/QtText.h"
#include "environment/LanguageTranslate.h"

namespace kv {
namespace {

QString Text(const char* name, const char* english) { return QStr(Translate(name, english)); }

void PaintBackground(QPainter& painter, const QRect& area) {
  QLinearGradient fill(area.topLeft(), area.bottomLeft());
  fill.setColorAt(0, QColor(0x2f, 0x6d, 0xb5));
  fill.setColorAt(1, QColor(0x12, 0x33, 0x5a));
  painter.fillRect(area, fill);
  painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
  painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void PaintTexts(QPainter& painter, const QRect& area) {
  QFont title = painter.font();
  title.setPixelSize(46);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(area.adjusted(0, 0, 0, -area.height() / 2), Qt::AlignLeft | Qt::AlignBottom, "Vandrel");
  QFont line = painter.font();
  line.setPixelSize(15);
  line.setBold(false);
  painter.setFont(line);
  painter.setPen(QColor(0xdf, 0xe9, 0xf5));
  const QRect below = area.adjusted(0, area.height() / 2 + 6, 0, 0);
  painter.drawText(below, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   Text("lbFlashTagline", "Data transfer between files and databases"));
  painter.setPen(QColor(0xf4, 0xb4, 0x00));
  painter.drawText(below, Qt::AlignLeft | Qt::AlignBottom, Text("lbFlashLoading", "Loading..."));
}

}  // namespace

TFlashForm::TFlashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("FlashForm");
  setFixedSize(kWidth, kHeight);
  auto* picture = new QLabel(this);
  picture->setObjectName("imgFlash");
  picture->setPixmap(Picture(devicePixelRatioF()));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture);
}

QPixmap TFlashForm::Picture(qreal devicePixelRatio) {
  QPixmap pixmap(QSize(kWidth, kHeight) * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRect area(0, 0, kWidth, kHeight);
  PaintBackground(painter, area);
  const int iconSize = 128;
  const QRect iconArea(24, (kHeight - iconSize) / 2, iconSize, iconSize);
  QIcon(":/vandrel/vandrel.svg").paint(&painter, iconArea);
  PaintTexts(painter, QRect(iconArea.right() + 20, 28, kWidth - iconArea.right() - 40, kHeight - 56));
  return pixmap;
}

void TFlashForm::CenterOn(const QRect& mainWindowBounds) {
  QRect target = mainWindowBounds;
  if (!target.isValid()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) target = screen->availableGeometry();
  }
  if (target.isValid()) move(target.center() - QPoint(kWidth / 2, kHeight / 2));
}

void TFlashForm::ShowNow() {
  show();
  raise();
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kv
