<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CInfoPalette</name>
    <message>
        <source>X:</source>
        <translation>X:</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Value:</source>
        <translation>值:</translation>
    </message>
    <message>
        <source>Zoom:</source>
        <translation>缩放:</translation>
    </message>
    <message>
        <source>Pixel</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>mm</source>
        <translation>mm</translation>
    </message>
    <message>
        <source>Measure:</source>
        <translation>测量:</translation>
    </message>
    <message>
        <source>Mx:</source>
        <translation>Mx:</translation>
    </message>
    <message>
        <source>My:</source>
        <translation>My:</translation>
    </message>
    <message>
        <source>Mw:</source>
        <translation>Mw:</translation>
    </message>
    <message>
        <source>Mh:</source>
        <translation>Mh:</translation>
    </message>
    <message>
        <source>Pixel Val.</source>
        <translation>像素值</translation>
    </message>
    <message>
        <source>O.D.</source>
        <translation>光密度</translation>
    </message>
    <message>
        <source>Gray Value:</source>
        <translation>灰度值:</translation>
    </message>
    <message>
        <source>Min:</source>
        <translation>最小:</translation>
    </message>
    <message>
        <source>Max:</source>
        <translation>最大:</translation>
    </message>
    <message>
        <source>Mean:</source>
        <translation>平均:</translation>
    </message>
    <message>
        <source>Sharp</source>
        <translation>锐化</translation>
    </message>
    <message>
        <source>Center:</source>
        <translation>中心:</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>宽度:</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>反相</translation>
    </message>
    <message>
        <source>New Scan</source>
        <translation>新扫描</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
</context>
<context>
    <name>CLayoutDlg</name>
    <message>
        <source>Layout</source>
        <translation>布局</translation>
    </message>
    <message>
        <source>Co&amp;lumn:</source>
        <translation>列(&amp;L):</translation>
    </message>
    <message>
        <source>&amp;Row:</source>
        <translation>行(&amp;R):</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Tool</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>OverView</source>
        <translation>概览</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>剖面</translation>
    </message>
    <message>
        <source>CAP</source>
        <translation>CAP</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
</context>
<context>
    <name>CProfilePalette</name>
    <message>
        <source>Horizontal Profile</source>
        <translation>水平剖面</translation>
    </message>
    <message>
        <source>Vertical Profile</source>
        <translation>垂直剖面</translation>
    </message>
    <message>
        <source>(O.D.)</source>
        <translation>(光密度)</translation>
    </message>
    <message>
        <source>(Pixel Value)</source>
        <translation>(像素值)</translation>
    </message>
</context>
<context>
    <name>CTivolaView</name>
    <message>
        <source>Failed to copy.
Marquee may be too large.</source>
        <translation>复制失败。
选框可能太大。</translation>
    </message>
    <message>
        <source>Failed to print.(1)</source>
        <translation>打印失败。(1)</translation>
    </message>
    <message>
        <source>Failed to print.(2)</source>
        <translation>打印失败。(2)</translation>
    </message>
    <message>
        <source>Failed to print.(3)</source>
        <translation>打印失败。(3)</translation>
    </message>
    <message>
        <source>Unable to print with this printer driver.</source>
        <translation>无法使用此打印机驱动程序打印。</translation>
    </message>
    <message>
        <source>Initialize viewing conditions</source>
        <translation>初始化显示条件</translation>
    </message>
    <message>
        <source>Show &amp;Maximum Number of Views</source>
        <translation>显示最多视图(&amp;M)</translation>
    </message>
    <message>
        <source>Show This View Only</source>
        <translation>仅显示此视图</translation>
    </message>
    <message>
        <source>Duplicate This View</source>
        <translation>复制此视图</translation>
    </message>
    <message>
        <source>C&amp;ancel ROI</source>
        <translation>取消ROI(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Copy Display Attributes</source>
        <translation>复制显示属性(&amp;C)</translation>
    </message>
    <message>
        <source>Pas&amp;te Display Attributes</source>
        <translation>粘贴显示属性(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Save This Image...</source>
        <translation>保存此图像(&amp;S)...</translation>
    </message>
    <message>
        <source>Save This Image...</source>
        <translation>保存此图像...</translation>
    </message>
    <message>
        <source>Print This View...</source>
        <translation>打印此视图...</translation>
    </message>
    <message>
        <source>No image is selected.</source>
        <translation>未选择图像。</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>Flip &amp;Horizontal</source>
        <translation>水平翻转(&amp;H)</translation>
    </message>
    <message>
        <source>Flip &amp;Vertical</source>
        <translation>垂直翻转(&amp;V)</translation>
    </message>
    <message>
        <source>Rotate 90d&amp;eg CW</source>
        <translation>顺时针旋转90度(&amp;E)</translation>
    </message>
    <message>
        <source>Rotate 90de&amp;g CCW</source>
        <translation>逆时针旋转90度(&amp;G)</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <source>Display Whole &amp;Image</source>
        <translation>显示整幅图像(&amp;I)</translation>
    </message>
    <message>
        <source>Display &amp;Marquee</source>
        <translation>显示选框(&amp;M)</translation>
    </message>
    <message>
        <source>Display Pi&amp;xel to Pixel</source>
        <translation>按像素原样显示(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Optimize Tonecurve</source>
        <translation>优化色调曲线(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Specify...</source>
        <translation>指定(&amp;S)...</translation>
    </message>
    <message>
        <source>Save Curren&amp;t Image...</source>
        <translation>保存当前图像(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Select All Views</source>
        <translation>选择所有视图(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Unselect All Views</source>
        <translation>取消选择所有视图(&amp;U)</translation>
    </message>
    <message>
        <source>Edit Study &amp;Data...</source>
        <translation>编辑检查数据(&amp;D)...</translation>
    </message>
    <message>
        <source>Study D&amp;ata</source>
        <translation>检查数据(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Show Current View Only</source>
        <translation>仅显示当前视图(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Duplicate Current View</source>
        <translation>复制当前视图(&amp;D)</translation>
    </message>
    <message>
        <source>Jump to &amp;First View</source>
        <translation>跳到第一个视图(&amp;F)</translation>
    </message>
    <message>
        <source>Show Image &amp;Name</source>
        <translation>显示图像名称(&amp;N)</translation>
    </message>
    <message>
        <source>Show &amp;Maximum Number of Views</source>
        <translation>显示最多视图(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Copy Display Attributes</source>
        <translation>复制显示属性(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Paste Display Attributes</source>
        <translation>粘贴显示属性(&amp;P)</translation>
    </message>
    <message>
        <source>Clear S&amp;harpness</source>
        <translation>清除锐化(&amp;H)</translation>
    </message>
    <message>
        <source>Jump to &amp;Last View</source>
        <translation>跳到最后一个视图(&amp;L)</translation>
    </message>
    <message>
        <source>Initialize viewing conditions</source>
        <translation>初始化显示条件</translation>
    </message>
    <message>
        <source>C&amp;ancel ROI</source>
        <translation>取消ROI(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Print Current View...</source>
        <translation>打印当前视图(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>Select &amp;Whole Image</source>
        <translation>选择整幅图像(&amp;W)</translation>
    </message>
    <message>
        <source>&amp;Reset Original Image Display</source>
        <translation>恢复原始图像显示(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Hide Info Palette</source>
        <translation>隐藏信息面板(&amp;H)</translation>
    </message>
    <message>
        <source>Sho&amp;rt Info Palette</source>
        <translation>简略信息面板(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Full Info Palette</source>
        <translation>完整信息面板(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Overview Window</source>
        <translation>概览窗口(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Horizontal profile</source>
        <translation>水平剖面(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Vertical Profile</source>
        <translation>垂直剖面(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation>查找(&amp;F)...</translation>
    </message>
    <message>
        <source>&amp;Hand</source>
        <translation>手形(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Rectangle</source>
        <translation>矩形(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Zoom</source>
        <translation>缩放(&amp;Z)</translation>
    </message>
    <message>
        <source>&amp;Tone Curve</source>
        <translation>色调曲线(&amp;T)</translation>
    </message>
    <message>
        <source>Tool&amp;box</source>
        <translation>工具箱(&amp;B)</translation>
    </message>
</context>
</TS>
