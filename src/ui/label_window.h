#pragma once

#include <QWidget>

class QLabel;
class QMenu;

// The label "VT: HH:MM" in a small frameless always-on-top window, for desktops without a tray.
// It can be dragged anywhere; a click opens the clock's menu.
class LabelWindow : public QWidget {
    Q_OBJECT

public:
    explicit LabelWindow(QMenu& menu, QWidget* parent = nullptr);
    void setLabel(const QString& text);
    [[nodiscard]] QString labelText() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void popUpMenu(const QPoint& position);

    QMenu& menu_;
    QLabel* label_;
    QPoint pressPoint_;  // global position of the left button's press
    QPoint pressOffset_; // from the window's corner to that press
    bool dragged_ = false;
    bool movedBySystem_ = false; // the window system took the drag over
};
