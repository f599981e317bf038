#pragma once

#include <QWidget>

#include <functional>

class AlarmSettingsView;
class SettingsStore;

// The one window "アラーム設定", hosting the alarm settings view. Created once and shown on demand;
// closing it only hides it.
class AlarmSettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 480;
    static constexpr int kMinimumHeight = 360;

    // now: real seconds since the epoch, for the times the alarms come next.
    AlarmSettingsWindow(SettingsStore& store, std::function<double()> now, QWidget* parent = nullptr);

    // Shows the window with the list as stored now, raised and activated; an open one keeps its
    // maximised or normal state, a minimised one is restored.
    void showAndActivate();

    [[nodiscard]] AlarmSettingsView& view() const { return *view_; }

private:
    AlarmSettingsView* view_;
};
