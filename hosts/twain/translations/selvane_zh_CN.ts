<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Selvane</name>
    <message>
        <source>Fail loading DSM DLL</source>
        <translation>无法加载源管理器库</translation>
    </message>
    <message>
        <source>Fail loading UI DLL</source>
        <translation>无法加载扫描界面库</translation>
    </message>
</context>
</TS>
