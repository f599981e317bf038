#include "ui/label_window.h"

#include "ui/application_icon.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>

LabelWindow::LabelWindow(QMenu& menu, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
    , menu_(menu)
    , label_(new QLabel(this)) {
    useApplicationIcon();
    setObjectName(QStringLiteral("clockLabelWindow"));
    label_->setObjectName(QStringLiteral("clockLabel"));
    // Read out with the label's own text, "VT: HH:MM".
    setAccessibleName(tr("ヴァルドリア時間の時計"));
    // It stands in for a tray item: showing or updating it must not take the focus from the game.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Wayland has no "show without activating": this is all a program can say there, and a compositor
    // may focus the window anyway (Weston does); see ClockTray::noTrayHostToWaitFor().
    if (QGuiApplication::platformName().startsWith(u"wayland")) {
        setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    }

    QFont font = label_->font();
    font.setBold(true);
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 1.2);
    }
    label_->setFont(font);

    // Right button or menu key: the same menu, as a tray item would give.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &LabelWindow::popUpMenu);

    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // hugs the text
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(label_);
}

void LabelWindow::setLabel(const QString& text) {
    label_->setText(text);
}

QString LabelWindow::labelText() const {
    return label_->text();
}

void LabelWindow::popUpMenu(const QPoint& position) {
    menu_.popup(mapToGlobal(position));
}

void LabelWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressPoint_ = event->globalPosition().toPoint();
    pressOffset_ = pressPoint_ - pos();
    dragged_ = false;
    movedBySystem_ = false;
    event->accept();
}

void LabelWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || movedBySystem_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (!dragged_ && (global - pressPoint_).manhattanLength() < QApplication::startDragDistance()) {
        return; // a shaky click is still a click
    }
    if (!dragged_) {
        dragged_ = true;
        // Wayland lets only the compositor place windows, and X11 window managers move them
        // better than we can; only when neither takes the drag does the window follow the pointer.
        if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) {
            movedBySystem_ = true;
            return;
        }
    }
    move(global - pressOffset_);
    event->accept();
}

void LabelWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (!dragged_) {
        menu_.popup(event->globalPosition().toPoint());
    }
    dragged_ = false;
    movedBySystem_ = false;
    event->accept();
}
