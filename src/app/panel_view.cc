#include "app/panel_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <algorithm>

namespace vantorel {

namespace {

// A press that the window leaves unaccepted (its tap zones act on the release) would make
// the scene drop the release, where a plain window gets it anyway. The proxy takes every
// press so that the release reaches the window as it does without the view.
class PanelProxy : public QGraphicsProxyWidget {
 protected:
  void mousePressEvent(QGraphicsSceneMouseEvent* event) override {
    QGraphicsProxyWidget::mousePressEvent(event);
    event->accept();
  }
};

}  // namespace

double FitScale(QSize content, QSize area) {
  if (content.isEmpty() || area.isEmpty()) return 1.0;
  return std::min(static_cast<double>(area.width()) / content.width(),
                  static_cast<double>(area.height()) / content.height());
}

PanelView::PanelView(QWidget& window, QWidget* parent)
    : QGraphicsView(parent), window_(window), scene_(new QGraphicsScene(this)) {
  setWindowTitle(window.windowTitle());
  setWindowIcon(window.windowIcon());
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
  setBackgroundBrush(Qt::black);
  setAlignment(Qt::AlignCenter);
  setScene(scene_);
  proxy_ = new PanelProxy;
  proxy_->setWidget(&window);
  scene_->addItem(proxy_);
  Refit();
  qApp->installEventFilter(this);
}

PanelView::~PanelView() {
  // Hand the window back: the proxy would otherwise delete it with the scene.
  proxy_->setWidget(nullptr);
}

void PanelView::BringToFront() {
  if (isMinimized()) showFullScreen();
  raise();
  activateWindow();
}

void PanelView::Refit() {
  const QSize content = window_.size();
  scene_->setSceneRect(QRectF(QPointF(0, 0), content));
  // The view centres the scene itself (AlignCenter); only the scale is ours to set.
  const double scale = FitScale(content, viewport()->size());
  setTransform(QTransform::fromScale(scale, scale));
  // Scaled, the window's circles and rounded frames need smoothing; at 1:1 the hint would
  // reach the window's own painting and change its pixels.
  setRenderHint(QPainter::Antialiasing, scale != 1.0);
}

bool PanelView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show || event->type() == QEvent::Move) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget != &window_ && widget->isWindow() && widget->graphicsProxyWidget() &&
        widget->graphicsProxyWidget()->parentItem() == proxy_) {
      // After Qt and the proxy have done their own placing for this event.
      QMetaObject::invokeMethod(
          this, [this, sub = QPointer<QWidget>(widget)] { if (sub) PlaceSubWindow(*sub); }, Qt::QueuedConnection);
    }
  }
  return QGraphicsView::eventFilter(watched, event);
}

void PanelView::PlaceSubWindow(QWidget& sub) {
  const QRect area(QPoint(0, 0), window_.size());
  QRect place(sub.pos(), sub.size());
  auto* menu = qobject_cast<QMenu*>(&sub);
  auto* bar = window_.findChild<QMenuBar*>();
  if (menu && bar && bar->actions().contains(menu->menuAction())) {
    // A menu of the menu bar opens from its title, above the bar when there is room.
    const QRect title = bar->actionGeometry(menu->menuAction()).translated(bar->pos());
    place.moveLeft(title.left());
    place.moveTop(title.top() - place.height() >= 0 ? title.top() - place.height() : title.bottom() + 1);
  } else if (!menu) {
    // A dialog: as tall as its wrapped texts need (the proxy sizes it from its plain size
    // hint, which leaves them no room), centred on the window.
    if (sub.hasHeightForWidth() && sub.heightForWidth(sub.width()) > sub.height()) {
      sub.resize(sub.width(), sub.heightForWidth(sub.width()));
      place.setSize(sub.size());
    }
    place.moveCenter(area.center());
  }
  // Nothing hangs off the window's edges (a window larger than the area keeps its top left).
  place.moveLeft(std::max(0, std::min(place.left(), area.right() + 1 - place.width())));
  place.moveTop(std::max(0, std::min(place.top(), area.bottom() + 1 - place.height())));
  // The proxy does not follow every move of its widget: both are set.
  if (place.topLeft() != sub.pos()) sub.move(place.topLeft());
  QGraphicsProxyWidget* proxy = sub.graphicsProxyWidget();
  if (proxy && proxy->pos() != QPointF(place.topLeft())) proxy->setPos(place.topLeft());
}

void PanelView::resizeEvent(QResizeEvent* event) {
  QGraphicsView::resizeEvent(event);
  Refit();
}

void PanelView::closeEvent(QCloseEvent* event) {
  // Closing the panel is closing the window: it decides (it stops picture and sound and
  // stays).
  event->ignore();
  window_.close();
}

std::unique_ptr<PanelView> ShowFullScreen(QWidget& window) {
  auto view = std::make_unique<PanelView>(window);
  // Panels often run without a window manager, which is what would honour the full-screen
  // state: the view also takes the screen's geometry itself, and follows it when the
  // screen is rotated or changes mode.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    view->setGeometry(screen->geometry());
    QObject::connect(screen, &QScreen::geometryChanged, view.get(),
                     [v = view.get()](const QRect& geometry) { v->setGeometry(geometry); });
  }
  view->showFullScreen();
  return view;
}

}  // namespace vantorel
