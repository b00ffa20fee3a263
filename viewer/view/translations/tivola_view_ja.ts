<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
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
        <translation>値:</translation>
    </message>
    <message>
        <source>Zoom:</source>
        <translation>倍率:</translation>
    </message>
    <message>
        <source>Pixel</source>
        <translation>画素</translation>
    </message>
    <message>
        <source>mm</source>
        <translation>mm</translation>
    </message>
    <message>
        <source>Measure:</source>
        <translation>計測:</translation>
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
        <translation>画素値</translation>
    </message>
    <message>
        <source>O.D.</source>
        <translation>濃度</translation>
    </message>
    <message>
        <source>Gray Value:</source>
        <translation>濃淡値:</translation>
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
        <translation>鮮鋭</translation>
    </message>
    <message>
        <source>Center:</source>
        <translation>中心:</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>幅:</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>反転</translation>
    </message>
    <message>
        <source>New Scan</source>
        <translation>新規スキャン</translation>
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
        <translation>レイアウト</translation>
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
        <translation>ツール</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>情報</translation>
    </message>
    <message>
        <source>OverView</source>
        <translation>概観</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>プロファイル</translation>
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
        <translation>水平プロファイル</translation>
    </message>
    <message>
        <source>Vertical Profile</source>
        <translation>垂直プロファイル</translation>
    </message>
    <message>
        <source>(O.D.)</source>
        <translation>(濃度)</translation>
    </message>
    <message>
        <source>(Pixel Value)</source>
        <translation>(画素値)</translation>
    </message>
</context>
<context>
    <name>CTivolaView</name>
    <message>
        <source>Failed to copy.
Marquee may be too large.</source>
        <translation>コピーできませんでした。
選択範囲が大きすぎる可能性があります。</translation>
    </message>
    <message>
        <source>Failed to print.(1)</source>
        <translation>印刷できませんでした。(1)</translation>
    </message>
    <message>
        <source>Failed to print.(2)</source>
        <translation>印刷できませんでした。(2)</translation>
    </message>
    <message>
        <source>Failed to print.(3)</source>
        <translation>印刷できませんでした。(3)</translation>
    </message>
    <message>
        <source>Unable to print with this printer driver.</source>
        <translation>このプリンタドライバでは印刷できません。</translation>
    </message>
    <message>
        <source>Initialize viewing conditions</source>
        <translation>表示条件を初期化</translation>
    </message>
    <message>
        <source>Show &amp;Maximum Number of Views</source>
        <translation>最大数のビューを表示(&amp;M)</translation>
    </message>
    <message>
        <source>Show This View Only</source>
        <translation>このビューのみ表示</translation>
    </message>
    <message>
        <source>Duplicate This View</source>
        <translation>このビューを複製</translation>
    </message>
    <message>
        <source>C&amp;ancel ROI</source>
        <translation>ROIを取り消し(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Copy Display Attributes</source>
        <translation>表示属性をコピー(&amp;C)</translation>
    </message>
    <message>
        <source>Pas&amp;te Display Attributes</source>
        <translation>表示属性を貼り付け(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Save This Image...</source>
        <translation>この画像を保存(&amp;S)...</translation>
    </message>
    <message>
        <source>Save This Image...</source>
        <translation>この画像を保存...</translation>
    </message>
    <message>
        <source>Print This View...</source>
        <translation>このビューを印刷...</translation>
    </message>
    <message>
        <source>No image is selected.</source>
        <translation>画像が選択されていません。</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>Flip &amp;Horizontal</source>
        <translation>左右反転(&amp;H)</translation>
    </message>
    <message>
        <source>Flip &amp;Vertical</source>
        <translation>上下反転(&amp;V)</translation>
    </message>
    <message>
        <source>Rotate 90d&amp;eg CW</source>
        <translation>右に90度回転(&amp;E)</translation>
    </message>
    <message>
        <source>Rotate 90de&amp;g CCW</source>
        <translation>左に90度回転(&amp;G)</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>切り取り(&amp;T)</translation>
    </message>
    <message>
        <source>Display Whole &amp;Image</source>
        <translation>画像全体を表示(&amp;I)</translation>
    </message>
    <message>
        <source>Display &amp;Marquee</source>
        <translation>選択範囲を表示(&amp;M)</translation>
    </message>
    <message>
        <source>Display Pi&amp;xel to Pixel</source>
        <translation>等倍表示(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Optimize Tonecurve</source>
        <translation>トーンカーブ最適化(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Specify...</source>
        <translation>指定(&amp;S)...</translation>
    </message>
    <message>
        <source>Save Curren&amp;t Image...</source>
        <translation>現在の画像を保存(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Select All Views</source>
        <translation>すべてのビューを選択(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Unselect All Views</source>
        <translation>すべてのビューの選択を解除(&amp;U)</translation>
    </message>
    <message>
        <source>Edit Study &amp;Data...</source>
        <translation>検査データの編集(&amp;D)...</translation>
    </message>
    <message>
        <source>Study D&amp;ata</source>
        <translation>検査データ(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Show Current View Only</source>
        <translation>現在のビューのみ表示(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Duplicate Current View</source>
        <translation>現在のビューを複製(&amp;D)</translation>
    </message>
    <message>
        <source>Jump to &amp;First View</source>
        <translation>最初のビューへ(&amp;F)</translation>
    </message>
    <message>
        <source>Show Image &amp;Name</source>
        <translation>画像名を表示(&amp;N)</translation>
    </message>
    <message>
        <source>Show &amp;Maximum Number of Views</source>
        <translation>最大数のビューを表示(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Copy Display Attributes</source>
        <translation>表示属性をコピー(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Paste Display Attributes</source>
        <translation>表示属性を貼り付け(&amp;P)</translation>
    </message>
    <message>
        <source>Clear S&amp;harpness</source>
        <translation>シャープネスをクリア(&amp;H)</translation>
    </message>
    <message>
        <source>Jump to &amp;Last View</source>
        <translation>最後のビューへ(&amp;L)</translation>
    </message>
    <message>
        <source>Initialize viewing conditions</source>
        <translation>表示条件を初期化</translation>
    </message>
    <message>
        <source>C&amp;ancel ROI</source>
        <translation>ROIを取り消し(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Print Current View...</source>
        <translation>現在のビューを印刷(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>コピー(&amp;C)</translation>
    </message>
    <message>
        <source>Select &amp;Whole Image</source>
        <translation>画像全体を選択(&amp;W)</translation>
    </message>
    <message>
        <source>&amp;Reset Original Image Display</source>
        <translation>元の画像表示に戻す(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Hide Info Palette</source>
        <translation>情報パレットを隠す(&amp;H)</translation>
    </message>
    <message>
        <source>Sho&amp;rt Info Palette</source>
        <translation>情報パレット（簡易）(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Full Info Palette</source>
        <translation>情報パレット（詳細）(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Overview Window</source>
        <translation>概観ウィンドウ(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Horizontal profile</source>
        <translation>水平プロファイル(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Vertical Profile</source>
        <translation>垂直プロファイル(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation>検索(&amp;F)...</translation>
    </message>
    <message>
        <source>&amp;Hand</source>
        <translation>ハンド(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Rectangle</source>
        <translation>矩形(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Zoom</source>
        <translation>ズーム(&amp;Z)</translation>
    </message>
    <message>
        <source>&amp;Tone Curve</source>
        <translation>トーンカーブ(&amp;T)</translation>
    </message>
    <message>
        <source>Tool&amp;box</source>
        <translation>ツールボックス(&amp;B)</translation>
    </message>
</context>
</TS>
