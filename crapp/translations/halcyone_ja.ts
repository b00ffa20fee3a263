<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Halcyone</name>
    <message>
        <source>Halcyone Version Information(&amp;A)...</source>
        <translation>Halcyone のバージョン情報(&amp;A)...</translation>
    </message>
    <message>
        <source>Waiting device command time-out.</source>
        <translation>装置のコマンド応答がタイムアウトしました。</translation>
    </message>
    <message>
        <source>Failed to output DICOM file.</source>
        <translation>DICOM ファイルを出力できませんでした。</translation>
    </message>
    <message>
        <source>Failed connecting to scanner.</source>
        <translation>スキャナに接続できませんでした。</translation>
    </message>
    <message>
        <source>Memory for log buffer is not allocated.</source>
        <translation>ログバッファのメモリを確保できません。</translation>
    </message>
    <message>
        <source>A scanning previous image is left.  Are you sure to lost this image?</source>
        <translation>前回スキャンした画像が残っています。  この画像を破棄してもよろしいですか?</translation>
    </message>
    <message>
        <source>Over an avalable image data size.  Please change the value of IPsize or pixel spacing.</source>
        <translation>扱える画像データのサイズを超えています。  IP サイズまたはピクセル間隔を変更してください。</translation>
    </message>
    <message>
        <source>ID or Name is required.</source>
        <translation>ID または名前を入力してください。</translation>
    </message>
    <message>
        <source>In processing.  Please wait for end of processing.</source>
        <translation>処理中です。  処理が終わるまでお待ちください。</translation>
    </message>
    <message>
        <source>Not connect to scanner. Do you retry to connect to scanner?</source>
        <translation>スキャナに接続されていません。スキャナへの接続を再試行しますか?</translation>
    </message>
    <message>
        <source>There is no scanning image.</source>
        <translation>スキャンした画像がありません。</translation>
    </message>
    <message>
        <source>Scanning........</source>
        <translation>スキャン中........</translation>
    </message>
    <message>
        <source>End of scan.</source>
        <translation>スキャンが終了しました。</translation>
    </message>
    <message>
        <source>Saving image data.</source>
        <translation>画像データを保存しています。</translation>
    </message>
    <message>
        <source>End of saving data.</source>
        <translation>データの保存が終了しました。</translation>
    </message>
    <message>
        <source>Cancel a scan.</source>
        <translation>スキャンを中止しました。</translation>
    </message>
    <message>
        <source>End of erasing IP.</source>
        <translation>IP の消去が終了しました。</translation>
    </message>
    <message>
        <source>End of ejecting IP.</source>
        <translation>IP の排出が終了しました。</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>標準</translation>
    </message>
    <message>
        <source>High speed</source>
        <translation>高速</translation>
    </message>
    <message>
        <source>Fine</source>
        <translation>高精細</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>スキャン</translation>
    </message>
    <message>
        <source>Clear Info. </source>
        <translation>情報クリア </translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Erase IP</source>
        <translation>IP 消去</translation>
    </message>
    <message>
        <source>Eject IP</source>
        <translation>IP 排出</translation>
    </message>
    <message>
        <source>Reset Error</source>
        <translation>エラー解除</translation>
    </message>
    <message>
        <source>Scanner Log</source>
        <translation>スキャナログ</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>閉じる</translation>
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
        <source>IP Size</source>
        <translation>IP サイズ</translation>
    </message>
    <message>
        <source>Pixel Spacing</source>
        <translation>ピクセル間隔</translation>
    </message>
    <message>
        <source>( micro meter )</source>
        <translation>( マイクロメートル )</translation>
    </message>
    <message>
        <source>Sensitivity</source>
        <translation>感度</translation>
    </message>
    <message>
        <source>( 100 - 1000 )</source>
        <translation>( 100 - 1000 )</translation>
    </message>
    <message>
        <source>Comp. ID</source>
        <translation>部品ID</translation>
    </message>
    <message>
        <source>Comp. Name</source>
        <translation>部品名</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>説明</translation>
    </message>
    <message>
        <source>Please enter an integer between 100 and 1000.</source>
        <translation>100 から 1000 までの整数を入力してください。</translation>
    </message>
    <message>
        <source>Please enter an integer.</source>
        <translation>整数を入力してください。</translation>
    </message>
    <message>
        <source>TXT Files(*.txt)</source>
        <translation>テキストファイル(*.txt)</translation>
    </message>
    <message>
        <source>Halcyone Version %1</source>
        <translation>Halcyone バージョン %1</translation>
    </message>
    <message>
        <source>About Halcyone</source>
        <translation>Halcyone のバージョン情報</translation>
    </message>
</context>
</TS>
