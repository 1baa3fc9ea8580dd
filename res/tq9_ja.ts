<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>tq9::CAddressBar</name>
    <message>
        <source>Folder</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>The folder shown and the folders visited before; pick one to go back to it.</source>
        <translation>表示中のフォルダと、これまでに表示したフォルダです。選ぶとそのフォルダに戻ります。</translation>
    </message>
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
        <source>More</source>
        <translation>その他</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>コマンド</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>アドレス</translation>
    </message>
    <message>
        <source>Free space on the card of the selected folder</source>
        <translation>選択したフォルダのカードの空き容量</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
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
        <source>&amp;Import...</source>
        <translation>取り込み(&amp;I)...</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>書き出し(&amp;E)...</translation>
    </message>
    <message>
        <source>D&amp;uplicate to...</source>
        <translation>複製先を選んで複製(&amp;U)...</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>開く(&amp;O)</translation>
    </message>
    <message>
        <source>Show in File &amp;Manager</source>
        <translation>ファイルマネージャで表示(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Setup</source>
        <translation>設定(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;New Folder</source>
        <translation>新しいフォルダ(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>削除(&amp;D)</translation>
    </message>
    <message>
        <source>E&amp;ject</source>
        <translation>取り出し(&amp;J)</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>最新の情報に更新(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <comment>menu</comment>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Info</source>
        <translation>バージョン情報(&amp;I)</translation>
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
        <source>Program icon</source>
        <translation>プログラムのアイコン</translation>
    </message>
    <message>
        <source>&lt;p&gt;Version %1. Copyright 2026 the TQ-9 Image Converter authors. All rights reserved: the program has not been published under a licence yet. Program and source: &lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;It uses FFmpeg, under the GNU Lesser General Public License 2.1 or later (as Debian builds it, the GNU General Public License 2 or later), and Qt %3, under the GNU Lesser General Public License 3. Both are linked as shared libraries that can be replaced; their source is at &lt;a href=&quot;https://ffmpeg.org&quot;&gt;ffmpeg.org&lt;/a&gt; and &lt;a href=&quot;https://www.qt.io&quot;&gt;qt.io&lt;/a&gt;, and in Debian&#x27;s source packages ffmpeg and qt6-base.&lt;/p&gt;</source>
        <translation>&lt;p&gt;バージョン %1。Copyright 2026 the TQ-9 Image Converter authors. All rights reserved: このプログラムはまだライセンスのもとで公開されていません。プログラムとソース: &lt;a href=&quot;%2&quot;&gt;%2&lt;/a&gt;&lt;/p&gt;&lt;p&gt;このプログラムは FFmpeg(GNU Lesser General Public License 2.1 以降、Debian のビルドでは GNU General Public License 2 以降)と Qt %3(GNU Lesser General Public License 3)を使用しています。どちらも置き換え可能な共有ライブラリとしてリンクされています。ソースは &lt;a href=&quot;https://ffmpeg.org&quot;&gt;ffmpeg.org&lt;/a&gt; と &lt;a href=&quot;https://www.qt.io&quot;&gt;qt.io&lt;/a&gt;、および Debian のソースパッケージ ffmpeg と qt6-base にあります。&lt;/p&gt;</translation>
    </message>
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
        <source>All files</source>
        <translation>すべてのファイル</translation>
    </message>
    <message>
        <source>Current file</source>
        <translation>処理中のファイル</translation>
    </message>
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
<context>
    <name>tq9::CLeftView</name>
    <message>
        <source>Cards and folders</source>
        <translation>カードとフォルダ</translation>
    </message>
    <message>
        <source>The TQ-9 cards and their numbered folders. Select a folder to list its files; drop files on a folder to import them.</source>
        <translation>TQ-9 カードと、その番号付きフォルダです。フォルダを選ぶとファイルが一覧表示されます。ファイルをフォルダにドロップすると取り込みます。</translation>
    </message>
</context>
<context>
    <name>tq9::CRightView</name>
    <message>
        <source>Files</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>The media files of the selected card folder: name, duration, size and date. Enter opens a file; the Menu key shows its commands.</source>
        <translation>選択したカードのフォルダにあるメディアファイルです(名前、再生時間、サイズ、日付)。Enter でファイルを開き、メニューキーでコマンドを表示します。</translation>
    </message>
</context>
</TS>
