<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Oskelu</name>
    <message>
        <source>Unable to use SCSI adapter.</source>
        <translation>无法使用SCSI适配器。</translation>
    </message>
    <message>
        <source>Unable to detect digitizer.
Please check all connections and switches.</source>
        <translation>无法检测到数字化仪。
请检查所有连接和开关。</translation>
    </message>
    <message>
        <source>Failed to initialize digitizer.</source>
        <translation>数字化仪初始化失败。</translation>
    </message>
    <message>
        <source>Failed to detect digitizer status.
Please check all connections and switches.</source>
        <translation>无法检测数字化仪状态。
请检查所有连接和开关。</translation>
    </message>
    <message>
        <source>Failed to set up digitizer</source>
        <translation>数字化仪设置失败</translation>
    </message>
    <message>
        <source>Failed to start up digitizer.</source>
        <translation>数字化仪启动失败。</translation>
    </message>
    <message>
        <source>Failed to start scanning.</source>
        <translation>无法开始扫描。</translation>
    </message>
    <message>
        <source>Failed to read scan data.</source>
        <translation>读取扫描数据失败。</translation>
    </message>
    <message>
        <source>Failed to delete object.(Internal Error)</source>
        <translation>删除对象失败。(内部错误)</translation>
    </message>
    <message>
        <source>Failed to reverse film.</source>
        <translation>退回胶片失败。</translation>
    </message>
    <message>
        <source>Failed to load the necessary DLL.</source>
        <translation>无法加载所需的DLL。</translation>
    </message>
    <message>
        <source>Initialize Error1</source>
        <translation>初始化错误1</translation>
    </message>
    <message>
        <source>Initialize Error2</source>
        <translation>初始化错误2</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>No detail.</source>
        <translation>没有详细信息。</translation>
    </message>
    <message>
        <source>SCAN</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>Auto scan</source>
        <translation>自动扫描</translation>
    </message>
    <message>
        <source>films</source>
        <translation>张</translation>
    </message>
    <message>
        <source>&amp;Scan</source>
        <translation>扫描(&amp;S)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>Study Data &amp;&gt;&gt;</source>
        <translation>检查数据 &amp;&gt;&gt;</translation>
    </message>
</context>
</TS>
