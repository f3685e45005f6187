#pragma once
// Wall panels: the main window inside a full-screen view that scales it, menu bar
// included, uniformly to fit the screen and centres it. The window keeps its own size,
// drawing and decisions; taps are mapped back through the same transform, so each one
// lands in the zone drawn under the finger. Dialogs and menus opened from the window are
// embedded and scaled with it.

#include <QGraphicsView>
#include <QSize>
#include <memory>

class QGraphicsProxyWidget;
class QGraphicsScene;

namespace vantorel {

// The largest uniform scale that fits `content` into `area` (1 for an empty size).
double FitScale(QSize content, QSize area);

class PanelView : public QGraphicsView {
  Q_OBJECT
 public:
  // Embeds `window` (not taken over: it is released again when the view ends, and must
  // outlive the view).
  explicit PanelView(QWidget& window, QWidget* parent = nullptr);
  ~PanelView() override;

  // The scale in use: screen pixels per window pixel.
  double scale() const { return transform().m11(); }
  // A second start of the program asked for the window.
  void BringToFront();

  bool eventFilter(QObject* watched, QEvent* event) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Refit();
  // Menus and dialogs of the window are embedded too, but they place themselves in screen
  // coordinates as if they were windows of their own; this puts them inside the window.
  void PlaceSubWindow(QWidget& sub);

  QWidget& window_;
  QGraphicsScene* scene_;
  QGraphicsProxyWidget* proxy_;
};

// Shows `window` full screen through a panel view (the window program's --fullscreen).
std::unique_ptr<PanelView> ShowFullScreen(QWidget& window);

}  // namespace vantorel
