// Plays the user's part in the next modal window (a message box or a
// dialog run by exec()): a timer watches for it and acts on it from inside
// its event loop. Every wait is bounded: a window the action leaves open is
// closed after a while, and the helper says so.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace orvex::test {

class ModalDriver {
 public:
  // `act` runs once, on the first modal window that shows within giveUpMs.
  explicit ModalDriver(std::function<void(QWidget*)> act, int giveUpMs = 5000)
      : state_(std::make_shared<State>()) {
    state_->act = std::move(act);
    state_->giveUpMs = giveUpMs;
    state_->clock.start();
    auto* timer = new QTimer();
    state_->timer = timer;
    timer->setInterval(5);
    auto state = state_;
    QObject::connect(timer, &QTimer::timeout, timer, [state] { Poll(*state); });
    timer->start();
  }
  ~ModalDriver() {
    if (state_->timer) state_->timer->deleteLater();
  }
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  bool acted() const { return state_->acted; }
  // True when the window had to be closed because the action left it open.
  bool forced() const { return state_->forced; }

 private:
  struct State {
    std::function<void(QWidget*)> act;
    int giveUpMs = 5000;
    QElapsedTimer clock;
    QPointer<QTimer> timer;
    QPointer<QWidget> window;
    qint64 actedAt = 0;
    bool acted = false;
    bool forced = false;
  };

  static void Poll(State& s) {
    if (!s.acted) {
      QWidget* w = QApplication::activeModalWidget();
      if (w && w->isVisible()) {
        s.acted = true;
        s.window = w;
        s.actedAt = s.clock.elapsed();
        s.act(w);
      } else if (s.clock.elapsed() > s.giveUpMs) {
        s.timer->stop();
      }
      return;
    }
    if (!s.window || !s.window->isVisible()) {
      s.timer->stop();
    } else if (s.clock.elapsed() - s.actedAt > s.giveUpMs) {
      s.forced = true;
      s.window->close();
      s.timer->stop();
    }
  }

  std::shared_ptr<State> state_;
};

// What a message box showed.
struct SeenBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Answers the next message box with `button` and records what it showed.
inline std::unique_ptr<ModalDriver> AnswerNextBox(SeenBox& seen,
                                                  QMessageBox::StandardButton button) {
  return std::make_unique<ModalDriver>([&seen, button](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    if (QAbstractButton* b = box->button(button)) b->click();
  });
}

}  // namespace orvex::test
