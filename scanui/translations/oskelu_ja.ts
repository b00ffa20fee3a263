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
    <message>
        <source>Scan Region:</source>
        <translation>スキャン範囲:</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>カスタム</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Autosense</source>
        <translation>自動検出</translation>
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
        <translation>幅:</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>高さ:</translation>
    </message>
    <message>
        <source>pixels</source>
        <translation>ピクセル</translation>
    </message>
    <message>
        <source>Auto Acquisition Set Up</source>
        <translation>自動取得設定</translation>
    </message>
    <message>
        <source>&amp;Apply Changes</source>
        <translation>変更を適用(&amp;A)</translation>
    </message>
    <message>
        <source>Bits per Pixel:</source>
        <translation>ピクセルあたりのビット数:</translation>
    </message>
    <message>
        <source>O.D. Range:</source>
        <translation>O.D.範囲:</translation>
    </message>
    <message>
        <source>Pixel Spacing:</source>
        <translation>ピクセル間隔:</translation>
    </message>
    <message>
        <source>Scan Mode:</source>
        <translation>スキャンモード:</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>高速</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>標準</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>高画質</translation>
    </message>
    <message>
        <source>Moire Reduction</source>
        <translation>モアレ低減</translation>
    </message>
    <message>
        <source>Setting...</source>
        <translation>設定...</translation>
    </message>
    <message>
        <source>Maximum O.D. in Marquee:</source>
        <translation>選択範囲内の最大O.D.:</translation>
    </message>
    <message>
        <source>Maximum O.D.:</source>
        <translation>最大O.D.:</translation>
    </message>
    <message>
        <source>Scou&amp;t Scan</source>
        <translation>プレスキャン(&amp;T)</translation>
    </message>
    <message>
        <source>Adjust &amp;O.D. Range</source>
        <translation>O.D.範囲を調整(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Feed</source>
        <translation>給送(&amp;F)</translation>
    </message>
    <message>
        <source>Study Data &amp;&lt;&lt;</source>
        <translation>検査データ &amp;&lt;&lt;</translation>
    </message>
    <message>
        <source>Study Data(DICONDE Attributes)</source>
        <translation>検査データ(DICONDE属性)</translation>
    </message>
    <message>
        <source>Component Name:</source>
        <translation>部品名:</translation>
    </message>
    <message>
        <source>Component ID Number:</source>
        <translation>部品ID番号:</translation>
    </message>
    <message>
        <source>Date of Manufacture:</source>
        <translation>製造日:</translation>
    </message>
    <message>
        <source>Male</source>
        <translation>男性</translation>
    </message>
    <message>
        <source>Female</source>
        <translation>女性</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>その他</translation>
    </message>
    <message>
        <source>Blank</source>
        <translation>空白</translation>
    </message>
    <message>
        <source>Sex:</source>
        <translation>性別:</translation>
    </message>
    <message>
        <source>Study Date:</source>
        <translation>検査日:</translation>
    </message>
    <message>
        <source>Study ID:</source>
        <translation>検査ID:</translation>
    </message>
    <message>
        <source>Study Description:</source>
        <translation>検査の説明:</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>クリア(&amp;C)</translation>
    </message>
    <message>
        <source>SCSI Adapter:</source>
        <translation>SCSIアダプタ:</translation>
    </message>
    <message>
        <source>Digitizer SCSI-ID:</source>
        <translation>デジタイザSCSI-ID:</translation>
    </message>
    <message>
        <source>Volume of Image Data:</source>
        <translation>画像データ量:</translation>
    </message>
    <message>
        <source>Maximum Scannable Data per Scan:</source>
        <translation>1回のスキャンの最大データ量:</translation>
    </message>
    <message>
        <source>Total Number of Scans:</source>
        <translation>スキャン総数:</translation>
    </message>
    <message>
        <source>Digitizer is not connected.</source>
        <translation>デジタイザが接続されていません。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>キャンセル(&amp;C)</translation>
    </message>
    <message>
        <source>Scanning OD range does not include the detected OD range.</source>
        <translation>スキャンのOD範囲が検出されたOD範囲を含んでいません。</translation>
    </message>
    <message>
        <source>Scout Scan</source>
        <translation>プレスキャン</translation>
    </message>
    <message>
        <source>Do you wish to overwrite the previous Scout Scan?</source>
        <translation>前回のプレスキャンを上書きしますか?</translation>
    </message>
    <message>
        <source>&amp;Scout Scan</source>
        <translation>プレスキャン(&amp;S)</translation>
    </message>
    <message>
        <source>Set the film to start scan.</source>
        <translation>スキャンを開始するにはフィルムをセットしてください。</translation>
    </message>
    <message>
        <source>&amp;Move the film forward</source>
        <translation>フィルムを送る(&amp;M)</translation>
    </message>
    <message>
        <source>There is not enough memory in the dizitizer.</source>
        <translation>デジタイザのメモリが不足しています。</translation>
    </message>
    <message>
        <source>Apply Changes?</source>
        <translation>変更を適用しますか?</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>確認</translation>
    </message>
    <message>
        <source>Check that the film size is 19cm or more.</source>
        <translation>フィルムサイズが19cm以上であることを確認してください。</translation>
    </message>
    <message>
        <source>Don&apos;t show this warning until exiting the program</source>
        <translation>プログラムを終了するまでこの警告を表示しない</translation>
    </message>
    <message>
        <source>Unable to scan with this pixel spacing.</source>
        <translation>このピクセル間隔ではスキャンできません。</translation>
    </message>
    <message>
        <source>Moire Reduction Settings</source>
        <translation>モアレ低減の設定</translation>
    </message>
    <message>
        <source>Scan &amp;Pitch:</source>
        <translation>スキャンピッチ(&amp;P):</translation>
    </message>
    <message>
        <source>&amp;Vertical</source>
        <translation>縦方向(&amp;V)</translation>
    </message>
    <message>
        <source>Filter &amp;Width:</source>
        <translation>フィルタ幅(&amp;W):</translation>
    </message>
    <message>
        <source>&amp;Horizontal</source>
        <translation>横方向(&amp;H)</translation>
    </message>
    <message>
        <source>Filter Wi&amp;dth:</source>
        <translation>フィルタ幅(&amp;D):</translation>
    </message>
    <message>
        <source>&amp;Filter Type:</source>
        <translation>フィルタの種類(&amp;F):</translation>
    </message>
    <message>
        <source>&amp;Interpolation:</source>
        <translation>補間(&amp;I):</translation>
    </message>
    <message>
        <source>Preparing to scan</source>
        <translation>スキャンの準備中</translation>
    </message>
    <message>
        <source>Digitizer is preparing to scan...</source>
        <translation>デジタイザがスキャンの準備をしています...</translation>
    </message>
    <message>
        <source>Scanning </source>
        <translation>スキャン中 </translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>スキャン中...</translation>
    </message>
    <message>
        <source>Scan cancelled.  </source>
        <translation>スキャンを中止しました。  </translation>
    </message>
    <message>
        <source>Enter the number of films when using the auto-feeder.
The number you entered is not valid.</source>
        <translation>オートフィーダを使用するときはフィルムの枚数を入力してください。
入力された枚数は無効です。</translation>
    </message>
    <message>
        <source>Auto Scan</source>
        <translation>自動スキャン</translation>
    </message>
</context>
<context>
    <name>RecordField</name>
    <message>
        <source>&quot;\&quot; separates DICOM values and cannot be part of this field.</source>
        <translation>「\」は DICOM の値の区切りのため、この欄には入力できません。</translation>
    </message>
    <message>
        <source>Line breaks and control characters cannot be stored in this field.</source>
        <translation>改行や制御文字はこの欄に保存できません。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be stored: the files hold ASCII and JIS X 0208 characters only.</source>
        <translation>「%1」は保存できません。ファイルに保存できるのは ASCII と JIS X 0208 の文字だけです。</translation>
    </message>
</context>
</TS>
