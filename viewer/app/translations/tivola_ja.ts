<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
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
<context>
    <name>Tivola</name>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open...	Ctrl+O</source>
        <translation>開く(&amp;O)...	Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>オプション(&amp;O)...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About Tivola...</source>
        <translation>バージョン情報(&amp;A)...</translation>
    </message>
    <message>
        <source>About Tivola</source>
        <translation>Tivola のバージョン情報</translation>
    </message>
    <message>
        <source>Tivola Version 1.1E</source>
        <translation>Tivola バージョン 1.1E</translation>
    </message>
    <message>
        <source>Copyright (C) The Tivola developers</source>
        <translation>Copyright (C) Tivola 開発者</translation>
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
        <source>&amp;OK</source>
        <translation>OK(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>キャンセル(&amp;C)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>閉じる</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>オプション</translation>
    </message>
    <message>
        <source>&amp;Show Study Data input screen when starting Scan window</source>
        <translation>スキャン画面の開始時に検査データ入力画面を表示する(&amp;S)</translation>
    </message>
    <message>
        <source>Attach &amp;Meta-Information Header when Saving as DICONDE Files</source>
        <translation>DICONDE ファイルの保存時にメタ情報ヘッダーを付ける(&amp;M)</translation>
    </message>
    <message>
        <source>Default File &amp;Type:</source>
        <translation>既定のファイル形式(&amp;T):</translation>
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
        <translation>詳細(&amp;D)...</translation>
    </message>
    <message>
        <source>Set Working Directory...</source>
        <translation>作業フォルダーの設定...</translation>
    </message>
    <message>
        <source>&amp;Use Standard Working Directory (Recommended)</source>
        <translation>標準の作業フォルダーを使う(推奨)(&amp;U)</translation>
    </message>
    <message>
        <source>Working Directory</source>
        <translation>作業フォルダー</translation>
    </message>
    <message>
        <source>Change working directory</source>
        <translation>作業フォルダーの変更</translation>
    </message>
    <message>
        <source>Folder not found. Are you sure?</source>
        <translation>フォルダーが見つかりません。よろしいですか?</translation>
    </message>
    <message>
        <source>Your changes will be reflected from next startup.</source>
        <translation>変更は次回の起動から反映されます。</translation>
    </message>
    <message>
        <source>Select an existing folder for working directory</source>
        <translation>作業フォルダーには既存のフォルダーを選んでください</translation>
    </message>
    <message>
        <source>Failed to read image</source>
        <translation>画像を読み込めませんでした</translation>
    </message>
    <message>
        <source>Raw File Parameters</source>
        <translation>RAW ファイルのパラメーター</translation>
    </message>
    <message>
        <source>( %1 Bytes )</source>
        <translation>( %1 バイト )</translation>
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
        <source>Header Size:</source>
        <translation>ヘッダーサイズ:</translation>
    </message>
    <message>
        <source>pixels</source>
        <translation>ピクセル</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>バイト</translation>
    </message>
    <message>
        <source>Bits per Pixel:</source>
        <translation>ピクセルあたりのビット数:</translation>
    </message>
    <message>
        <source> 8 bits</source>
        <translation> 8 ビット</translation>
    </message>
    <message>
        <source>10 bits</source>
        <translation>10 ビット</translation>
    </message>
    <message>
        <source>12 bits</source>
        <translation>12 ビット</translation>
    </message>
    <message>
        <source>Byte Order:</source>
        <translation>バイト順:</translation>
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
        <translation>同じサイズの新しいファイルすべてにこの設定を使う</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>情報</translation>
    </message>
    <message>
        <source>&amp;Swap</source>
        <translation>入れ替え(&amp;S)</translation>
    </message>
    <message>
        <source>Image data size with specified parameter is smaller than the actual file size. Open this file?</source>
        <translation>指定したパラメーターによる画像データのサイズが実際のファイルサイズより小さくなります。このファイルを開きますか?</translation>
    </message>
    <message>
        <source>Image data size with specified parameter is larger than the actual file size.</source>
        <translation>指定したパラメーターによる画像データのサイズが実際のファイルサイズより大きくなります。</translation>
    </message>
    <message>
        <source>Settings of the JPEG Compression</source>
        <translation>JPEG 圧縮の設定</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>画質</translation>
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
        <translation>標準</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>低</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>パラメーター</translation>
    </message>
    <message>
        <source>Smaller</source>
        <translation>小さい</translation>
    </message>
    <message>
        <source>Larger</source>
        <translation>大きい</translation>
    </message>
    <message>
        <source>Please enter an integer between 0 and 95.</source>
        <translation>0 から 95 までの整数を入力してください。</translation>
    </message>
    <message>
        <source>Open as a &amp;Series</source>
        <translation>連番として開く(&amp;S)</translation>
    </message>
    <message>
        <source>Sorry, but...</source>
        <translation>申し訳ありませんが...</translation>
    </message>
    <message>
        <source>The following files cannot be opened.</source>
        <translation>次のファイルを開けません。</translation>
    </message>
    <message>
        <source>Opening</source>
        <translation>読み込み中</translation>
    </message>
    <message>
        <source>There is no image to display</source>
        <translation>表示する画像がありません</translation>
    </message>
    <message>
        <source>There are no more images to add</source>
        <translation>追加する画像はもうありません</translation>
    </message>
    <message>
        <source>Image files with continuous numbers are found. Do you want to open them together?
(Click No to open single file.)</source>
        <translation>連番の画像ファイルが見つかりました。まとめて開きますか?
(1 つのファイルだけを開くには [いいえ] をクリックしてください。)</translation>
    </message>
    <message>
        <source>We are trying to oen a large image set. We may run out of memory. Continue anyway?</source>
        <translation>大きな画像セットを開こうとしています。メモリーが不足する可能性があります。続けますか?</translation>
    </message>
    <message>
        <source>An image cannot be opened. Continue?</source>
        <translation>開けない画像があります。続けますか?</translation>
    </message>
    <message>
        <source>Out of Memory</source>
        <translation>メモリー不足</translation>
    </message>
    <message>
        <source>Failed to write the file(%1).</source>
        <translation>ファイル(%1)に書き込めませんでした。</translation>
    </message>
    <message>
        <source>Failed to write.</source>
        <translation>書き込みに失敗しました。</translation>
    </message>
    <message>
        <source>Unknown reason</source>
        <translation>原因不明</translation>
    </message>
    <message>
        <source>Larger than 12 bits</source>
        <translation>12 ビットを超えています</translation>
    </message>
    <message>
        <source>Signed pixel data</source>
        <translation>符号付きのピクセルデータ</translation>
    </message>
    <message>
        <source>Compressed Image data</source>
        <translation>圧縮された画像データ</translation>
    </message>
    <message>
        <source>File access failure</source>
        <translation>ファイルアクセスの失敗</translation>
    </message>
    <message>
        <source>Not supported</source>
        <translation>サポートされていません</translation>
    </message>
    <message>
        <source>Cancelled to read the file.</source>
        <translation>ファイルの読み込みを中止しました。</translation>
    </message>
    <message>
        <source>New Scan</source>
        <translation>新規スキャン</translation>
    </message>
    <message>
        <source>Not enough disk space</source>
        <translation>ディスクの空き容量が不足しています</translation>
    </message>
    <message>
        <source>Failed to make work folder</source>
        <translation>作業フォルダを作成できませんでした</translation>
    </message>
    <message>
        <source>Failed to load the necessary DLL.</source>
        <translation>必要なDLLを読み込めませんでした。</translation>
    </message>
    <message>
        <source>Load Error</source>
        <translation>読み込みエラー</translation>
    </message>
    <message>
        <source>Not enough memory!</source>
        <translation>メモリが不足しています!</translation>
    </message>
    <message>
        <source>New scan%1d</source>
        <translation>新規スキャン%1d</translation>
    </message>
    <message>
        <source>Some files will be overwrited by added images. Are you sure?</source>
        <translation>追加した画像でいくつかのファイルが上書きされます。よろしいですか?</translation>
    </message>
    <message>
        <source>Failed to save image</source>
        <translation>画像を保存できませんでした</translation>
    </message>
    <message>
        <source>TIFF files(*.tif)</source>
        <translation>TIFF ファイル(*.tif)</translation>
    </message>
    <message>
        <source>DICONDE files(*.dcm)</source>
        <translation>DICONDE ファイル(*.dcm)</translation>
    </message>
    <message>
        <source>DICONDE(JPEG) files(*.dcm)</source>
        <translation>DICONDE(JPEG) ファイル(*.dcm)</translation>
    </message>
    <message>
        <source>JPEG files(*.jpg)</source>
        <translation>JPEG ファイル(*.jpg)</translation>
    </message>
    <message>
        <source>Raw files Windows Format(*.raw)</source>
        <translation>Rawファイル Windows形式(*.raw)</translation>
    </message>
    <message>
        <source>Raw files Macintosh Format(*.raw)</source>
        <translation>Rawファイル Macintosh形式(*.raw)</translation>
    </message>
    <message>
        <source>BMP files(*.bmp)</source>
        <translation>BMP ファイル(*.bmp)</translation>
    </message>
    <message>
        <source>PGM files(*.pgm)</source>
        <translation>PGM ファイル(*.pgm)</translation>
    </message>
    <message>
        <source>&amp;Save in a new folder</source>
        <translation>新しいフォルダに保存(&amp;S)</translation>
    </message>
    <message>
        <source>N&amp;ew folder name:</source>
        <translation>新しいフォルダ名(&amp;E):</translation>
    </message>
    <message>
        <source>Selected folder is reserved for work space.
Please select another folder to save.</source>
        <translation>選択したフォルダは作業用に予約されています。
別のフォルダを選択してください。</translation>
    </message>
    <message>
        <source>The folder already exist.
Use another name.</source>
        <translation>フォルダは既に存在します。
別の名前を使用してください。</translation>
    </message>
    <message>
        <source>Use .dcm, .tif, .bmp, .pgm or .raw as extension.</source>
        <translation>拡張子には .dcm, .tif, .bmp, .pgm または .raw を使用してください。</translation>
    </message>
    <message>
        <source>To save two or more images, filenames should include numbers.</source>
        <translation>2つ以上の画像を保存するには、ファイル名に番号を含めてください。</translation>
    </message>
    <message>
        <source>The new filename is already assigned.
Are you sure to overwrite?</source>
        <translation>新しいファイル名は既に使われています。
上書きしてもよろしいですか?</translation>
    </message>
    <message>
        <source>Convert to 8-bit and save</source>
        <translation>8ビットに変換して保存</translation>
    </message>
    <message>
        <source>10-bit, 12 bit images will be converted to 8-bit. We may lose accuracy.</source>
        <translation>10ビット、12ビットの画像は8ビットに変換されます。精度が失われる場合があります。</translation>
    </message>
    <message>
        <source>C&amp;ontinue</source>
        <translation>続行(&amp;O)</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>確認</translation>
    </message>
    <message>
        <source>These images are not saved</source>
        <translation>これらの画像は保存されていません</translation>
    </message>
    <message>
        <source>Close &amp;Anyway</source>
        <translation>保存せずに閉じる(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <source>Save &amp;Replica...</source>
        <translation>複製を保存(&amp;R)...</translation>
    </message>
    <message>
        <source>Save Se&amp;lected Image...</source>
        <translation>選択した画像を保存(&amp;L)...</translation>
    </message>
    <message>
        <source>Save Curren&amp;t Image...</source>
        <translation>現在の画像を保存(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Add Scan...</source>
        <translation>スキャンを追加(&amp;A)...</translation>
    </message>
    <message>
        <source>Save ROI to CS&amp;V file...</source>
        <translation>ROIをCSVファイルに保存(&amp;V)...</translation>
    </message>
    <message>
        <source>Save ROI to CSV file</source>
        <translation>ROIをCSVファイルに保存</translation>
    </message>
    <message>
        <source>Save Replica</source>
        <translation>複製を保存</translation>
    </message>
    <message>
        <source>Save Selected</source>
        <translation>選択を保存</translation>
    </message>
    <message>
        <source>Save Current</source>
        <translation>現在を保存</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Failed to make new folder.</source>
        <translation>新しいフォルダを作成できませんでした。</translation>
    </message>
    <message>
        <source>Edit Study Data</source>
        <translation>検査データの編集</translation>
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
        <source>Sex</source>
        <translation>性別</translation>
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
        <source>Keep Mixed</source>
        <translation>混在のまま</translation>
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
        <source>Invalid Study Data</source>
        <translation>検査データが不正です</translation>
    </message>
    <message>
        <source>Save &amp;Anyway</source>
        <translation>このまま保存(&amp;A)</translation>
    </message>
    <message>
        <source>Op&amp;en and Add Image...</source>
        <translation>画像を開いて追加(&amp;E)...</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Image</source>
        <translation>画像(&amp;I)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Layout</source>
        <translation>レイアウト(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>ウィンドウ(&amp;W)</translation>
    </message>
    <message>
        <source>TIFF files(*.tif);;DICONDE files(*.dcm);;JPEG files(*.jpg);;BMP files(*.bmp);;PGM files(*.pgm);;All files(*.*)</source>
        <translation>TIFF ファイル(*.tif);;DICONDE ファイル(*.dcm);;JPEG ファイル(*.jpg);;BMP ファイル(*.bmp);;PGM ファイル(*.pgm);;すべてのファイル(*.*)</translation>
    </message>
    <message>
        <source>All files(*.*)</source>
        <translation>すべてのファイル(*.*)</translation>
    </message>
    <message>
        <source> Byte</source>
        <translation> バイト</translation>
    </message>
    <message>
        <source> Bytes</source>
        <translation> バイト</translation>
    </message>
    <message>
        <source>%1 / %2 (%3 Bytes)</source>
        <translation>%1 / %2 (%3 バイト)</translation>
    </message>
    <message>
        <source>CSV files(*.csv)</source>
        <translation>CSV ファイル(*.csv)</translation>
    </message>
    <message>
        <source>No image is selected.</source>
        <translation>画像が選択されていません。</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>there is no room left on the disk</source>
        <translation>ディスクの空き容量がありません</translation>
    </message>
    <message>
        <source>the file could not be written</source>
        <translation>ファイルに書き込めませんでした</translation>
    </message>
    <message>
        <source>A copy of this scan could not be kept: %1. The scan stays open.</source>
        <translation>このスキャンのコピーを保存できませんでした: %1。スキャン画像は開いたままです。</translation>
    </message>
</context>
</TS>
