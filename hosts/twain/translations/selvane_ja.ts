<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Selvane</name>
    <message>
        <source>Fail loading DSM DLL</source>
        <translation>ソースマネージャのライブラリを読み込めませんでした</translation>
    </message>
    <message>
        <source>Fail loading UI DLL</source>
        <translation>スキャン画面のライブラリを読み込めませんでした</translation>
    </message>
</context>
</TS>
