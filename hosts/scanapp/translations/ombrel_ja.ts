<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Ombrel</name>
    <message>
        <source>Failed to write the file(%s).</source>
        <translation>ファイル(%s)の書き込みに失敗しました。</translation>
    </message>
    <message>
        <source>Failed to write.</source>
        <translation>書き込みに失敗しました。</translation>
    </message>
</context>
</TS>
