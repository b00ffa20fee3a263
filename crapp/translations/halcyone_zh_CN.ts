<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Halcyone</name>
    <message>
        <source>Halcyone Version Information(&amp;A)...</source>
        <translation>Halcyone 版本信息(&amp;A)...</translation>
    </message>
    <message>
        <source>Waiting device command time-out.</source>
        <translation>等待设备命令响应超时。</translation>
    </message>
    <message>
        <source>Failed to output DICOM file.</source>
        <translation>无法输出 DICOM 文件。</translation>
    </message>
    <message>
        <source>Failed connecting to scanner.</source>
        <translation>无法连接扫描仪。</translation>
    </message>
    <message>
        <source>Memory for log buffer is not allocated.</source>
        <translation>无法分配日志缓冲区内存。</translation>
    </message>
    <message>
        <source>A scanning previous image is left.  Are you sure to lost this image?</source>
        <translation>上次扫描的图像尚未保存。  确定要丢弃该图像吗?</translation>
    </message>
    <message>
        <source>Over an avalable image data size.  Please change the value of IPsize or pixel spacing.</source>
        <translation>超出可用的图像数据大小。  请更改 IP 尺寸或像素间距。</translation>
    </message>
    <message>
        <source>ID or Name is required.</source>
        <translation>请输入 ID 或名称。</translation>
    </message>
    <message>
        <source>In processing.  Please wait for end of processing.</source>
        <translation>正在处理。  请等待处理结束。</translation>
    </message>
    <message>
        <source>Not connect to scanner. Do you retry to connect to scanner?</source>
        <translation>未连接扫描仪。是否重新连接扫描仪?</translation>
    </message>
    <message>
        <source>There is no scanning image.</source>
        <translation>没有扫描图像。</translation>
    </message>
    <message>
        <source>Scanning........</source>
        <translation>正在扫描........</translation>
    </message>
    <message>
        <source>End of scan.</source>
        <translation>扫描结束。</translation>
    </message>
    <message>
        <source>Saving image data.</source>
        <translation>正在保存图像数据。</translation>
    </message>
    <message>
        <source>End of saving data.</source>
        <translation>数据保存结束。</translation>
    </message>
    <message>
        <source>Cancel a scan.</source>
        <translation>扫描已取消。</translation>
    </message>
    <message>
        <source>End of erasing IP.</source>
        <translation>IP 擦除结束。</translation>
    </message>
    <message>
        <source>End of ejecting IP.</source>
        <translation>IP 退出结束。</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>标准</translation>
    </message>
    <message>
        <source>High speed</source>
        <translation>高速</translation>
    </message>
    <message>
        <source>Fine</source>
        <translation>精细</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>Clear Info. </source>
        <translation>清除信息 </translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Erase IP</source>
        <translation>擦除 IP</translation>
    </message>
    <message>
        <source>Eject IP</source>
        <translation>退出 IP</translation>
    </message>
    <message>
        <source>Reset Error</source>
        <translation>复位错误</translation>
    </message>
    <message>
        <source>Scanner Log</source>
        <translation>扫描仪日志</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>IP Size</source>
        <translation>IP 尺寸</translation>
    </message>
    <message>
        <source>Pixel Spacing</source>
        <translation>像素间距</translation>
    </message>
    <message>
        <source>( micro meter )</source>
        <translation>( 微米 )</translation>
    </message>
    <message>
        <source>Sensitivity</source>
        <translation>灵敏度</translation>
    </message>
    <message>
        <source>( 100 - 1000 )</source>
        <translation>( 100 - 1000 )</translation>
    </message>
    <message>
        <source>Comp. ID</source>
        <translation>部件ID</translation>
    </message>
    <message>
        <source>Comp. Name</source>
        <translation>部件名称</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>说明</translation>
    </message>
    <message>
        <source>Please enter an integer between 100 and 1000.</source>
        <translation>请输入 100 到 1000 之间的整数。</translation>
    </message>
    <message>
        <source>Please enter an integer.</source>
        <translation>请输入整数。</translation>
    </message>
    <message>
        <source>TXT Files(*.txt)</source>
        <translation>文本文件(*.txt)</translation>
    </message>
    <message>
        <source>Halcyone Version %1</source>
        <translation>Halcyone 版本 %1</translation>
    </message>
    <message>
        <source>About Halcyone</source>
        <translation>关于 Halcyone</translation>
    </message>
</context>
</TS>
