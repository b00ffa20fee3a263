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
    <message>
        <source>Scan Region:</source>
        <translation>扫描区域:</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>自定义</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Autosense</source>
        <translation>自动检测</translation>
    </message>
    <message>
        <source>Left:</source>
        <translation>左:</translation>
    </message>
    <message>
        <source>Top:</source>
        <translation>上:</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>宽:</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>高:</translation>
    </message>
    <message>
        <source>pixels</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>Auto Acquisition Set Up</source>
        <translation>自动采集设置</translation>
    </message>
    <message>
        <source>&amp;Apply Changes</source>
        <translation>应用更改(&amp;A)</translation>
    </message>
    <message>
        <source>Bits per Pixel:</source>
        <translation>每像素位数:</translation>
    </message>
    <message>
        <source>O.D. Range:</source>
        <translation>O.D.范围:</translation>
    </message>
    <message>
        <source>Pixel Spacing:</source>
        <translation>像素间距:</translation>
    </message>
    <message>
        <source>Scan Mode:</source>
        <translation>扫描模式:</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>标准</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>质量</translation>
    </message>
    <message>
        <source>Moire Reduction</source>
        <translation>莫尔纹消除</translation>
    </message>
    <message>
        <source>Setting...</source>
        <translation>设置...</translation>
    </message>
    <message>
        <source>Maximum O.D. in Marquee:</source>
        <translation>选框内最大O.D.:</translation>
    </message>
    <message>
        <source>Maximum O.D.:</source>
        <translation>最大O.D.:</translation>
    </message>
    <message>
        <source>Scou&amp;t Scan</source>
        <translation>预扫描(&amp;T)</translation>
    </message>
    <message>
        <source>Adjust &amp;O.D. Range</source>
        <translation>调整O.D.范围(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Feed</source>
        <translation>送片(&amp;F)</translation>
    </message>
    <message>
        <source>Study Data &amp;&lt;&lt;</source>
        <translation>检查数据 &amp;&lt;&lt;</translation>
    </message>
    <message>
        <source>Study Data(DICONDE Attributes)</source>
        <translation>检查数据(DICONDE属性)</translation>
    </message>
    <message>
        <source>Component Name:</source>
        <translation>部件名称:</translation>
    </message>
    <message>
        <source>Component ID Number:</source>
        <translation>部件ID号:</translation>
    </message>
    <message>
        <source>Date of Manufacture:</source>
        <translation>制造日期:</translation>
    </message>
    <message>
        <source>Male</source>
        <translation>男</translation>
    </message>
    <message>
        <source>Female</source>
        <translation>女</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>空白</translation>
    </message>
    <message>
        <source>Sex:</source>
        <translation>性别:</translation>
    </message>
    <message>
        <source>Study Date:</source>
        <translation>检查日期:</translation>
    </message>
    <message>
        <source>Study ID:</source>
        <translation>检查ID:</translation>
    </message>
    <message>
        <source>Study Description:</source>
        <translation>检查说明:</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>清除(&amp;C)</translation>
    </message>
    <message>
        <source>SCSI Adapter:</source>
        <translation>SCSI适配器:</translation>
    </message>
    <message>
        <source>Digitizer SCSI-ID:</source>
        <translation>数字化仪SCSI-ID:</translation>
    </message>
    <message>
        <source>Volume of Image Data:</source>
        <translation>图像数据量:</translation>
    </message>
    <message>
        <source>Maximum Scannable Data per Scan:</source>
        <translation>每次扫描的最大数据量:</translation>
    </message>
    <message>
        <source>Total Number of Scans:</source>
        <translation>扫描总数:</translation>
    </message>
    <message>
        <source>Digitizer is not connected.</source>
        <translation>数字化仪未连接。</translation>
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
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
    <message>
        <source>Scanning OD range does not include the detected OD range.</source>
        <translation>扫描OD范围不包含检测到的OD范围。</translation>
    </message>
    <message>
        <source>Scout Scan</source>
        <translation>预扫描</translation>
    </message>
    <message>
        <source>Do you wish to overwrite the previous Scout Scan?</source>
        <translation>是否覆盖上一次预扫描?</translation>
    </message>
    <message>
        <source>&amp;Scout Scan</source>
        <translation>预扫描(&amp;S)</translation>
    </message>
    <message>
        <source>Set the film to start scan.</source>
        <translation>请放入胶片以开始扫描。</translation>
    </message>
    <message>
        <source>&amp;Move the film forward</source>
        <translation>向前送片(&amp;M)</translation>
    </message>
    <message>
        <source>There is not enough memory in the dizitizer.</source>
        <translation>数字化仪内存不足。</translation>
    </message>
    <message>
        <source>Apply Changes?</source>
        <translation>是否应用更改?</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>确认</translation>
    </message>
    <message>
        <source>Check that the film size is 19cm or more.</source>
        <translation>请确认胶片尺寸在19cm以上。</translation>
    </message>
    <message>
        <source>Don&apos;t show this warning until exiting the program</source>
        <translation>在退出程序前不再显示此警告</translation>
    </message>
    <message>
        <source>Unable to scan with this pixel spacing.</source>
        <translation>无法以此像素间距扫描。</translation>
    </message>
    <message>
        <source>Moire Reduction Settings</source>
        <translation>莫尔纹消除设置</translation>
    </message>
    <message>
        <source>Scan &amp;Pitch:</source>
        <translation>扫描间距(&amp;P):</translation>
    </message>
    <message>
        <source>&amp;Vertical</source>
        <translation>垂直(&amp;V)</translation>
    </message>
    <message>
        <source>Filter &amp;Width:</source>
        <translation>滤波宽度(&amp;W):</translation>
    </message>
    <message>
        <source>&amp;Horizontal</source>
        <translation>水平(&amp;H)</translation>
    </message>
    <message>
        <source>Filter Wi&amp;dth:</source>
        <translation>滤波宽度(&amp;D):</translation>
    </message>
    <message>
        <source>&amp;Filter Type:</source>
        <translation>滤波类型(&amp;F):</translation>
    </message>
    <message>
        <source>&amp;Interpolation:</source>
        <translation>插值(&amp;I):</translation>
    </message>
    <message>
        <source>Preparing to scan</source>
        <translation>正在准备扫描</translation>
    </message>
    <message>
        <source>Digitizer is preparing to scan...</source>
        <translation>数字化仪正在准备扫描...</translation>
    </message>
    <message>
        <source>Scanning </source>
        <translation>正在扫描 </translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>正在扫描...</translation>
    </message>
    <message>
        <source>Scan cancelled.  </source>
        <translation>扫描已取消。  </translation>
    </message>
    <message>
        <source>Enter the number of films when using the auto-feeder.
The number you entered is not valid.</source>
        <translation>使用自动进片器时请输入胶片数量。
输入的数量无效。</translation>
    </message>
    <message>
        <source>Auto Scan</source>
        <translation>自动扫描</translation>
    </message>
</context>
<context>
    <name>RecordField</name>
    <message>
        <source>&quot;\&quot; separates DICOM values and cannot be part of this field.</source>
        <translation>“\”是 DICOM 值的分隔符，不能用于此字段。</translation>
    </message>
    <message>
        <source>Line breaks and control characters cannot be stored in this field.</source>
        <translation>此字段不能保存换行符和控制字符。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be stored: the files hold ASCII and JIS X 0208 characters only.</source>
        <translation>无法保存“%1”：文件只能保存 ASCII 和 JIS X 0208 字符。</translation>
    </message>
</context>
</TS>
