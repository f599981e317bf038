#pragma once

#include <QObject>

#include <memory>

class QAction;
class QMenu;
class TimerModel;

// The clock's menu: the time signal and alarm switches, the alarm settings window, About, support
// and Quit, built once. Checkmarks and the enabled state follow the settings store: refreshed when
// the menu is about to show, and on model changes while it is open. Commands are only announced;
// the application carries them out.
class MenuView : public QObject {
    Q_OBJECT

public:
    explicit MenuView(TimerModel& model, QObject* parent = nullptr);
    ~MenuView() override;

    [[nodiscard]] QMenu& menu() const { return *menu_; }

public slots:
    void refresh();

signals:
    void alarmSettingsRequested();
    void aboutRequested();
    void supportRequested();
    void quitRequested();

private:
    void toggleTimeSignal();
    void toggleAlarms();
    void refreshWhileShown();

    TimerModel& model_;
    std::unique_ptr<QMenu> menu_;
    QAction* timeSignal_ = nullptr;
    QAction* alarms_ = nullptr;
};
