<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>tq9::CAddressBar</name>
    <message>
        <source>File</source>
        <translation>ファイル</translation>
    </message>
</context>
<context>
    <name>tq9::CFileListModel</name>
    <message>
        <source>name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>duration</source>
        <translation>再生時間</translation>
    </message>
    <message>
        <source>size</source>
        <translation>サイズ</translation>
    </message>
    <message>
        <source>date</source>
        <translation>日付</translation>
    </message>
</context>
<context>
    <name>tq9::CMainFrame</name>
    <message>
        <source>There is no card folder to import the files into. Put in a TQ-9 card, or create a folder on it, then drop the files on the folder.</source>
        <translation>ファイルを取り込むカードのフォルダがありません。TQ-9 カードを入れるか、カードにフォルダを作成してから、ファイルをフォルダにドロップしてください。</translation>
    </message>
    <message>
        <source>Import %1 into %2?</source>
        <translation>%1 を %2 に取り込みますか?</translation>
    </message>
    <message>
        <source>Import %1 files into %2?</source>
        <translation>%1 個のファイルを %2 に取り込みますか?</translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>取り込み...</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>書き出し...</translation>
    </message>
    <message>
        <source>Duplicate to...</source>
        <translation>複製先を選んで複製...</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>開く</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>ファイルマネージャで表示</translation>
    </message>
    <message>
        <source>Edit(&amp;E)</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>File(&amp;F)</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>新しいフォルダ</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>最新の情報に更新</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Help(&amp;H)</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>ヘルプ</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>バージョン情報</translation>
    </message>
</context>
<context>
    <name>tq9::CPreferenceDlg</name>
    <message>
        <source>Setup</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>映像方式</translation>
    </message>
    <message>
        <source>NTSC</source>
        <translation>NTSC</translation>
    </message>
    <message>
        <source>PAL</source>
        <translation>PAL</translation>
    </message>
    <message>
        <source>Letter Box Available</source>
        <translation>レターボックスを使用する</translation>
    </message>
    <message>
        <source>2pass Encode (Video)</source>
        <translation>2パスエンコード (ビデオ)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>tq9::CAboutDlg</name>
    <message>
        <source>About TQ-9 Image Converter</source>
        <translation>TQ-9 Image Converter のバージョン情報</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>tq9::CConvProgressDlg</name>
    <message>
        <source>Converting ...</source>
        <translation>変換しています...</translation>
    </message>
    <message>
        <source>Converted File 0/0</source>
        <translation>変換済みファイル 0/0</translation>
    </message>
    <message>
        <source>Converting filename</source>
        <translation>変換中のファイル名</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>tq9::CMessageBox</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>tq9::CFileChooser</name>
    <message>
        <source>Import</source>
        <translation>取り込み</translation>
    </message>
    <message>
        <source>Export to</source>
        <translation>書き出し先</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>書き出し</translation>
    </message>
    <message>
        <source>Media files (%1)</source>
        <translation>メディアファイル (%1)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Duplicate to</source>
        <translation>複製先</translation>
    </message>
    <message>
        <source>Duplicate</source>
        <translation>複製</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
</context>
</TS>
