<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
<context>
    <name>Tivola</name>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open...	Ctrl+O</source>
        <translation>打开(&amp;O)...	Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>选项(&amp;O)...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About Tivola...</source>
        <translation>关于 Tivola(&amp;A)...</translation>
    </message>
    <message>
        <source>About Tivola</source>
        <translation>关于 Tivola</translation>
    </message>
    <message>
        <source>Tivola Version 1.1E</source>
        <translation>Tivola 版本 1.1E</translation>
    </message>
    <message>
        <source>Copyright (C) The Tivola developers</source>
        <translation>版权所有 (C) Tivola 开发者</translation>
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
        <source>&amp;OK</source>
        <translation>确定(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>&amp;Show Study Data input screen when starting Scan window</source>
        <translation>启动扫描窗口时显示检查数据输入画面(&amp;S)</translation>
    </message>
    <message>
        <source>Attach &amp;Meta-Information Header when Saving as DICONDE Files</source>
        <translation>保存为 DICONDE 文件时附加元信息头(&amp;M)</translation>
    </message>
    <message>
        <source>Default File &amp;Type:</source>
        <translation>默认文件类型(&amp;T):</translation>
    </message>
    <message>
        <source>DICOM</source>
        <translation>DICOM</translation>
    </message>
    <message>
        <source>TIFF</source>
        <translation>TIFF</translation>
    </message>
    <message>
        <source>&amp;Details...</source>
        <translation>详细(&amp;D)...</translation>
    </message>
    <message>
        <source>Set Working Directory...</source>
        <translation>设置工作文件夹...</translation>
    </message>
    <message>
        <source>&amp;Use Standard Working Directory (Recommended)</source>
        <translation>使用标准工作文件夹(推荐)(&amp;U)</translation>
    </message>
    <message>
        <source>Working Directory</source>
        <translation>工作文件夹</translation>
    </message>
    <message>
        <source>Change working directory</source>
        <translation>更改工作文件夹</translation>
    </message>
    <message>
        <source>Folder not found. Are you sure?</source>
        <translation>找不到文件夹。确定吗?</translation>
    </message>
    <message>
        <source>Your changes will be reflected from next startup.</source>
        <translation>更改将在下次启动时生效。</translation>
    </message>
    <message>
        <source>Select an existing folder for working directory</source>
        <translation>请选择一个已存在的文件夹作为工作文件夹</translation>
    </message>
    <message>
        <source>Failed to read image</source>
        <translation>无法读取图像</translation>
    </message>
    <message>
        <source>Raw File Parameters</source>
        <translation>RAW 文件参数</translation>
    </message>
    <message>
        <source>( %1 Bytes )</source>
        <translation>( %1 字节 )</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>宽度:</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>高度:</translation>
    </message>
    <message>
        <source>Header Size:</source>
        <translation>文件头大小:</translation>
    </message>
    <message>
        <source>pixels</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>字节</translation>
    </message>
    <message>
        <source>Bits per Pixel:</source>
        <translation>每像素位数:</translation>
    </message>
    <message>
        <source> 8 bits</source>
        <translation> 8 位</translation>
    </message>
    <message>
        <source>10 bits</source>
        <translation>10 位</translation>
    </message>
    <message>
        <source>12 bits</source>
        <translation>12 位</translation>
    </message>
    <message>
        <source>Byte Order:</source>
        <translation>字节顺序:</translation>
    </message>
    <message>
        <source>Macintosh(UNIX)</source>
        <translation>Macintosh(UNIX)</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Windows</translation>
    </message>
    <message>
        <source>Adopt this setting to all new files with the same size</source>
        <translation>对所有相同大小的新文件采用此设置</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>&amp;Swap</source>
        <translation>交换(&amp;S)</translation>
    </message>
    <message>
        <source>Image data size with specified parameter is smaller than the actual file size. Open this file?</source>
        <translation>按指定参数计算的图像数据大小小于实际文件大小。是否打开此文件?</translation>
    </message>
    <message>
        <source>Image data size with specified parameter is larger than the actual file size.</source>
        <translation>按指定参数计算的图像数据大小大于实际文件大小。</translation>
    </message>
    <message>
        <source>Settings of the JPEG Compression</source>
        <translation>JPEG 压缩设置</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>质量</translation>
    </message>
    <message>
        <source>Highest</source>
        <translation>最高</translation>
    </message>
    <message>
        <source>High</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>标准</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>低</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>Smaller</source>
        <translation>较小</translation>
    </message>
    <message>
        <source>Larger</source>
        <translation>较大</translation>
    </message>
    <message>
        <source>Please enter an integer between 0 and 95.</source>
        <translation>请输入 0 到 95 之间的整数。</translation>
    </message>
    <message>
        <source>Open as a &amp;Series</source>
        <translation>作为序列打开(&amp;S)</translation>
    </message>
    <message>
        <source>Sorry, but...</source>
        <translation>很抱歉...</translation>
    </message>
    <message>
        <source>The following files cannot be opened.</source>
        <translation>无法打开以下文件。</translation>
    </message>
    <message>
        <source>Opening</source>
        <translation>正在打开</translation>
    </message>
    <message>
        <source>There is no image to display</source>
        <translation>没有可显示的图像</translation>
    </message>
    <message>
        <source>There are no more images to add</source>
        <translation>没有更多可添加的图像</translation>
    </message>
    <message>
        <source>Image files with continuous numbers are found. Do you want to open them together?
(Click No to open single file.)</source>
        <translation>找到了连续编号的图像文件。要一起打开吗?
(单击“否”只打开单个文件。)</translation>
    </message>
    <message>
        <source>We are trying to oen a large image set. We may run out of memory. Continue anyway?</source>
        <translation>正在尝试打开大量图像。可能会内存不足。仍要继续吗?</translation>
    </message>
    <message>
        <source>An image cannot be opened. Continue?</source>
        <translation>有图像无法打开。是否继续?</translation>
    </message>
    <message>
        <source>Out of Memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>Failed to write the file(%1).</source>
        <translation>无法写入文件(%1)。</translation>
    </message>
    <message>
        <source>Failed to write.</source>
        <translation>写入失败。</translation>
    </message>
    <message>
        <source>Unknown reason</source>
        <translation>原因不明</translation>
    </message>
    <message>
        <source>Larger than 12 bits</source>
        <translation>超过 12 位</translation>
    </message>
    <message>
        <source>Signed pixel data</source>
        <translation>有符号像素数据</translation>
    </message>
    <message>
        <source>Compressed Image data</source>
        <translation>压缩的图像数据</translation>
    </message>
    <message>
        <source>File access failure</source>
        <translation>文件访问失败</translation>
    </message>
    <message>
        <source>Not supported</source>
        <translation>不支持</translation>
    </message>
    <message>
        <source>Cancelled to read the file.</source>
        <translation>已取消读取文件。</translation>
    </message>
    <message>
        <source>New Scan</source>
        <translation>新扫描</translation>
    </message>
    <message>
        <source>Not enough disk space</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>Failed to make work folder</source>
        <translation>无法创建工作文件夹</translation>
    </message>
    <message>
        <source>Failed to load the necessary DLL.</source>
        <translation>无法加载所需的DLL。</translation>
    </message>
    <message>
        <source>Load Error</source>
        <translation>加载错误</translation>
    </message>
    <message>
        <source>Not enough memory!</source>
        <translation>内存不足!</translation>
    </message>
    <message>
        <source>New scan%1d</source>
        <translation>新扫描%1d</translation>
    </message>
    <message>
        <source>Some files will be overwrited by added images. Are you sure?</source>
        <translation>部分文件将被新加的图像覆盖。确定吗?</translation>
    </message>
    <message>
        <source>Failed to save image</source>
        <translation>无法保存图像</translation>
    </message>
    <message>
        <source>TIFF files(*.tif)</source>
        <translation>TIFF 文件(*.tif)</translation>
    </message>
    <message>
        <source>DICONDE files(*.dcm)</source>
        <translation>DICONDE 文件(*.dcm)</translation>
    </message>
    <message>
        <source>DICONDE(JPEG) files(*.dcm)</source>
        <translation>DICONDE(JPEG) 文件(*.dcm)</translation>
    </message>
    <message>
        <source>JPEG files(*.jpg)</source>
        <translation>JPEG 文件(*.jpg)</translation>
    </message>
    <message>
        <source>Raw files Windows Format(*.raw)</source>
        <translation>Raw文件 Windows格式(*.raw)</translation>
    </message>
    <message>
        <source>Raw files Macintosh Format(*.raw)</source>
        <translation>Raw文件 Macintosh格式(*.raw)</translation>
    </message>
    <message>
        <source>BMP files(*.bmp)</source>
        <translation>BMP 文件(*.bmp)</translation>
    </message>
    <message>
        <source>PGM files(*.pgm)</source>
        <translation>PGM 文件(*.pgm)</translation>
    </message>
    <message>
        <source>&amp;Save in a new folder</source>
        <translation>保存到新文件夹(&amp;S)</translation>
    </message>
    <message>
        <source>N&amp;ew folder name:</source>
        <translation>新文件夹名(&amp;E):</translation>
    </message>
    <message>
        <source>Selected folder is reserved for work space.
Please select another folder to save.</source>
        <translation>所选文件夹保留为工作区。
请选择其他文件夹保存。</translation>
    </message>
    <message>
        <source>The folder already exist.
Use another name.</source>
        <translation>文件夹已存在。
请使用其他名称。</translation>
    </message>
    <message>
        <source>Use .dcm, .tif, .bmp, .pgm or .raw as extension.</source>
        <translation>请使用 .dcm、.tif、.bmp、.pgm 或 .raw 作为扩展名。</translation>
    </message>
    <message>
        <source>To save two or more images, filenames should include numbers.</source>
        <translation>要保存两个或更多图像,文件名中应包含数字。</translation>
    </message>
    <message>
        <source>The new filename is already assigned.
Are you sure to overwrite?</source>
        <translation>新文件名已被使用。
确定要覆盖吗?</translation>
    </message>
    <message>
        <source>Convert to 8-bit and save</source>
        <translation>转换为8位并保存</translation>
    </message>
    <message>
        <source>10-bit, 12 bit images will be converted to 8-bit. We may lose accuracy.</source>
        <translation>10位、12位图像将被转换为8位。可能会损失精度。</translation>
    </message>
    <message>
        <source>C&amp;ontinue</source>
        <translation>继续(&amp;O)</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>确认</translation>
    </message>
    <message>
        <source>These images are not saved</source>
        <translation>这些图像尚未保存</translation>
    </message>
    <message>
        <source>Close &amp;Anyway</source>
        <translation>仍然关闭(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <source>Save &amp;Replica...</source>
        <translation>保存副本(&amp;R)...</translation>
    </message>
    <message>
        <source>Save Se&amp;lected Image...</source>
        <translation>保存所选图像(&amp;L)...</translation>
    </message>
    <message>
        <source>Save Curren&amp;t Image...</source>
        <translation>保存当前图像(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Add Scan...</source>
        <translation>添加扫描(&amp;A)...</translation>
    </message>
    <message>
        <source>Save ROI to CS&amp;V file...</source>
        <translation>将ROI保存为CSV文件(&amp;V)...</translation>
    </message>
    <message>
        <source>Save ROI to CSV file</source>
        <translation>将ROI保存为CSV文件</translation>
    </message>
    <message>
        <source>Save Replica</source>
        <translation>保存副本</translation>
    </message>
    <message>
        <source>Save Selected</source>
        <translation>保存所选</translation>
    </message>
    <message>
        <source>Save Current</source>
        <translation>保存当前</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Failed to make new folder.</source>
        <translation>无法创建新文件夹。</translation>
    </message>
    <message>
        <source>Edit Study Data</source>
        <translation>编辑检查数据</translation>
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
        <source>Sex</source>
        <translation>性别</translation>
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
        <source>Keep Mixed</source>
        <translation>保持混合</translation>
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
        <source>Invalid Study Data</source>
        <translation>检查数据无效</translation>
    </message>
    <message>
        <source>Save &amp;Anyway</source>
        <translation>仍然保存(&amp;A)</translation>
    </message>
    <message>
        <source>Op&amp;en and Add Image...</source>
        <translation>打开并添加图像(&amp;E)...</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>编辑(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Image</source>
        <translation>图像(&amp;I)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Layout</source>
        <translation>布局(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>窗口(&amp;W)</translation>
    </message>
    <message>
        <source>TIFF files(*.tif);;DICONDE files(*.dcm);;JPEG files(*.jpg);;BMP files(*.bmp);;PGM files(*.pgm);;All files(*.*)</source>
        <translation>TIFF 文件(*.tif);;DICONDE 文件(*.dcm);;JPEG 文件(*.jpg);;BMP 文件(*.bmp);;PGM 文件(*.pgm);;所有文件(*.*)</translation>
    </message>
    <message>
        <source>All files(*.*)</source>
        <translation>所有文件(*.*)</translation>
    </message>
    <message>
        <source> Byte</source>
        <translation> 字节</translation>
    </message>
    <message>
        <source> Bytes</source>
        <translation> 字节</translation>
    </message>
    <message>
        <source>%1 / %2 (%3 Bytes)</source>
        <translation>%1 / %2 (%3 字节)</translation>
    </message>
    <message>
        <source>CSV files(*.csv)</source>
        <translation>CSV 文件(*.csv)</translation>
    </message>
    <message>
        <source>No image is selected.</source>
        <translation>未选择图像。</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>关闭(&amp;C)</translation>
    </message>
    <message>
        <source>there is no room left on the disk</source>
        <translation>磁盘已无剩余空间</translation>
    </message>
    <message>
        <source>the file could not be written</source>
        <translation>无法写入文件</translation>
    </message>
    <message>
        <source>A copy of this scan could not be kept: %1. The scan stays open.</source>
        <translation>无法保留此扫描的副本：%1。扫描图像仍保持打开。</translation>
    </message>
</context>
</TS>
