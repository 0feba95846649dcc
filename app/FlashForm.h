// The splash window shown while the main window is built: one 401 x 199
// picture (the program's icon, name and tagline in the language in force)
// filling a borderless window.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace kv {

class TFlashForm : public QWidget {
  Q_OBJECT
public:
  static constexpr int kWidth = 401;
  static constexpr int kHeight = 199;

  // A top-level splash window (shown by the caller).
  explicit TFlashForm(QWidget* parent = nullptr);

  // Centres the window on the main window's bounds (frame geometry), or on
  // the primary screen when `mainWindowBounds` is not valid.
  void CenterOn(const QRect& mainWindowBounds);
  // Shows the window and paints it at once, before the event loop runs.
  void ShowNow();

  // The splash picture, kWidth x kHeight device-independent pixels.
  static QPixmap Picture(qreal devicePixelRatio = 1.0);
};

}  // namespace kv
