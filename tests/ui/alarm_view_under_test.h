#pragma once

#include "temp_settings.h"
#include "ui/alarm_settings_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

// One row's controls, found by objectName.
struct ShownRow {
    QWidget* widget;
    QCheckBox* enabled;
    QLineEdit* hour;
    QLineEdit* minutes;
    QLineEdit* title;
    QToolButton* remove;
};

// An alarm settings view in an active window on a fresh temporary store holding `stored`.
class ViewUnderTest {
public:
    explicit ViewUnderTest(const AlarmList& stored = {}) {
        if (!stored.isEmpty()) {
            EXPECT_TRUE(settings.store->setAlarms(stored));
        }
        view = std::make_unique<AlarmSettingsView>(*settings.store);
        view->resize(480, 360);
        view->show();
        QApplication::setActiveWindow(view.get());
    }

    // The list as another reader of the file sees it now.
    [[nodiscard]] AlarmList stored() const { return settings.open()->alarms(); }

    // The rows that exist, in the order shown, top to bottom. Rows out of sight are not made.
    [[nodiscard]] std::vector<ShownRow> rows() const {
        QList<QWidget*> shown;
        for (QWidget* row : view->findChildren<QWidget*>(QStringLiteral("alarmRow"))) {
            if (!row->isHidden()) {
                shown.append(row);
            }
        }
        std::sort(shown.begin(), shown.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        std::vector<ShownRow> rows;
        for (QWidget* row : shown) {
            rows.push_back({row, row->findChild<QCheckBox*>(QStringLiteral("enabledCheckBox")),
                            row->findChild<QLineEdit*>(QStringLiteral("hourField")),
                            row->findChild<QLineEdit*>(QStringLiteral("minutesField")),
                            row->findChild<QLineEdit*>(QStringLiteral("titleField")),
                            row->findChild<QToolButton*>(QStringLiteral("deleteButton"))});
        }
        return rows;
    }

    [[nodiscard]] QPushButton* addButton() const {
        return view->findChild<QPushButton*>(QStringLiteral("addAlarmButton"));
    }
    [[nodiscard]] QLabel* emptyMessage() const {
        return view->findChild<QLabel*>(QStringLiteral("emptyListMessage"));
    }
    [[nodiscard]] QScrollArea* scrollArea() const {
        return view->findChild<QScrollArea*>(QStringLiteral("alarmScrollArea"));
    }

    TempSettings settings;
    std::unique_ptr<AlarmSettingsView> view;
};

// Types text one character at a time. keyClicks takes ASCII only, so anything else goes as a key
// event carrying the text, as an input method would send it.
inline void typeText(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (character[0].unicode() < 0x80) {
            QTest::keyClick(widget, character[0].toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, character, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, character, Qt::NoModifier);
        }
        i += length - 1;
    }
}

// Pastes text in one change, over whatever is selected.
inline void pasteText(QWidget* widget, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
}

inline AlarmModel alarmAt(const QString& hour, const QString& minutes, const QString& title = {}) {
    AlarmModel alarm = AlarmModel::makeNew();
    alarm.hour = hour;
    alarm.minutes = minutes;
    alarm.title = title;
    return alarm;
}
