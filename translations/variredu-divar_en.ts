<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>AboutDialog</name>
    <message>
        <source>バージョン情報 — %1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>%1 バージョン %2</source>
        <translation>%1 version %2</translation>
    </message>
</context>
<context>
    <name>AlarmRow</name>
    <message>
        <source>アラーム内容</source>
        <translation>Alarm text</translation>
    </message>
    <message>
        <source>アラームの時</source>
        <translation>Alarm hour</translation>
    </message>
    <message>
        <source>アラームの分</source>
        <translation>Alarm minute</translation>
    </message>
    <message>
        <source>アラーム %1</source>
        <translation>Alarm %1</translation>
    </message>
    <message>
        <source>アラーム %1 有効</source>
        <translation>Alarm %1 enabled</translation>
    </message>
    <message>
        <source>アラーム %1 を削除</source>
        <translation>Delete alarm %1</translation>
    </message>
</context>
<context>
    <name>AlarmSettingsView</name>
    <message>
        <source>アラームが設定されていません</source>
        <translation>No alarms set</translation>
    </message>
    <message>
        <source>アラームを追加</source>
        <translation>Add alarm</translation>
    </message>
    <message>
        <source>アラーム一覧</source>
        <translation>Alarm list</translation>
    </message>
    <message>
        <source>変更は保存されていません: %1</source>
        <translation>Changes are not saved: %1</translation>
    </message>
</context>
<context>
    <name>AlarmSettingsWindow</name>
    <message>
        <source>アラーム設定</source>
        <translation>Alarm settings</translation>
    </message>
</context>
<context>
    <name>LabelWindow</name>
    <message>
        <source>ヴァルドリア時間の時計</source>
        <translation>Valdrian time clock</translation>
    </message>
</context>
<context>
    <name>MenuView</name>
    <message>
        <source>時報</source>
        <translation>Time signal</translation>
    </message>
    <message>
        <source>アラームを作動</source>
        <translation>Activate alarms</translation>
    </message>
    <message>
        <source>アラーム設定</source>
        <translation>Alarm settings</translation>
    </message>
    <message>
        <source>Variredu Divar について</source>
        <translation>About Variredu Divar</translation>
    </message>
    <message>
        <source>サポート</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>Variredu Divar を終了...</source>
        <translation>Quit Variredu Divar</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>A tray clock showing Valdrian time (VT), with a spoken hourly time signal and alarms.</source>
        <translation>A tray clock showing Valdrian time (VT), with a spoken hourly time signal and alarms.</translation>
    </message>
</context>
<context>
    <name>UpcomingText</name>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>次のアラーム: %1 %2、あと %3</source>
        <translation>Next alarm: %1 at %2, in %3</translation>
    </message>
    <message>
        <source>次の時報: %1 %2、あと %3</source>
        <translation>Next time signal: %1 at %2, in %3</translation>
    </message>
    <message>
        <source>この時刻は来ません</source>
        <translation>This time never comes</translation>
    </message>
    <message>
        <source>実時間で次は %1、%2、%3</source>
        <translation>Next in real time: %1, %2, %3</translation>
    </message>
</context>
</TS>
