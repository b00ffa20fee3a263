<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Oskelu</name>
    <message>
        <source>Unable to use SCSI adapter.</source>
        <translation>SCSIアダプタを使用できません。</translation>
    </message>
    <message>
        <source>Unable to detect digitizer.
Please check all connections and switches.</source>
        <translation>デジタイザを検出できません。
接続とスイッチをすべて確認してください。</translation>
    </message>
    <message>
        <source>Failed to initialize digitizer.</source>
        <translation>デジタイザの初期化に失敗しました。</translation>
    </message>
    <message>
        <source>Failed to detect digitizer status.
Please check all connections and switches.</source>
        <translation>デジタイザの状態を検出できませんでした。
接続とスイッチをすべて確認してください。</translation>
    </message>
    <message>
        <source>Failed to set up digitizer</source>
        <translation>デジタイザの設定に失敗しました</translation>
    </message>
    <message>
        <source>Failed to start up digitizer.</source>
        <translation>デジタイザの起動に失敗しました。</translation>
    </message>
    <message>
        <source>Failed to start scanning.</source>
        <translation>スキャンを開始できませんでした。</translation>
    </message>
    <message>
        <source>Failed to read scan data.</source>
        <translation>スキャンデータの読み込みに失敗しました。</translation>
    </message>
    <message>
        <source>Failed to delete object.(Internal Error)</source>
        <translation>オブジェクトの削除に失敗しました。(内部エラー)</translation>
    </message>
    <message>
        <source>Failed to reverse film.</source>
        <translation>フィルムの戻しに失敗しました。</translation>
    </message>
    <message>
        <source>Failed to load the necessary DLL.</source>
        <translation>必要なDLLを読み込めませんでした。</translation>
    </message>
    <message>
        <source>Initialize Error1</source>
        <translation>初期化エラー1</translation>
    </message>
    <message>
        <source>Initialize Error2</source>
        <translation>初期化エラー2</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>スキャン</translation>
    </message>
    <message>
        <source>No detail.</source>
        <translation>詳細はありません。</translation>
    </message>
    <message>
        <source>SCAN</source>
        <translation>スキャン</translation>
    </message>
    <message>
        <source>Auto scan</source>
        <translation>自動スキャン</translation>
    </message>
    <message>
        <source>films</source>
        <translation>枚</translation>
    </message>
    <message>
        <source>&amp;Scan</source>
        <translation>スキャン(&amp;S)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>Study Data &amp;&gt;&gt;</source>
        <translation>検査データ &amp;&gt;&gt;</translation>
    </message>
</context>
</TS>
