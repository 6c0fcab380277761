<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AboutBox</name>
    <message>
        <source>バージョン情報 Tavrona</source>
        <translation>About Tavrona</translation>
    </message>
</context>
<context>
    <name>Commands</name>
    <message>
        <source>新規作成(&amp;N)	Ctrl+N</source>
        <translation>&amp;New	Ctrl+N</translation>
    </message>
    <message>
        <source>新規にファイルを作成</source>
        <translation>Create a new project</translation>
    </message>
    <message>
        <source>新規ファイル</source>
        <translation>New</translation>
    </message>
    <message>
        <source>開く(&amp;O)...	Ctrl+O</source>
        <translation>&amp;Open...	Ctrl+O</translation>
    </message>
    <message>
        <source>既存のファイルを開く</source>
        <translation>Open an existing project</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>作業中のファイルを閉じる</source>
        <translation>Close the current project</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>上書き保存(&amp;S)	Ctrl+S</source>
        <translation>&amp;Save	Ctrl+S</translation>
    </message>
    <message>
        <source>作業中のファイルを上書きして保存</source>
        <translation>Save the current project</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>名前を付けて保存(&amp;A)...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>作業中のファイルを新しい名前で保存</source>
        <translation>Save the current project under a new name</translation>
    </message>
    <message>
        <source>名前をつけて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>印刷</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>AVIファイルの作成(&amp;V)...</source>
        <translation>Export &amp;Movie...</translation>
    </message>
    <message>
        <source>AVIファイルの作成</source>
        <translation>Export the project as a movie file</translation>
    </message>
    <message>
        <source>プロジェクトの設定(&amp;P)...</source>
        <translation>&amp;Project Settings...</translation>
    </message>
    <message>
        <source>プロジェクトの設定</source>
        <translation>Project settings</translation>
    </message>
    <message>
        <source>アプリケーションの終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>アプリケーションを終了し、ファイルの保存を指示\終了</source>
        <translation>Quit the application; prompts to save the project</translation>
    </message>
    <message>
        <source>プロパティ(&amp;S)...	Enter</source>
        <translation>Pr&amp;operties...	Enter</translation>
    </message>
    <message>
        <source>プロパティ</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>ファイルの追加(&amp;N)...</source>
        <translation>Add &amp;File...</translation>
    </message>
    <message>
        <source>ファイルの追加</source>
        <translation>Add files to the project</translation>
    </message>
    <message>
        <source>ファイルの複製(&amp;X)</source>
        <translation>&amp;Duplicate File</translation>
    </message>
    <message>
        <source>ファイルの複製</source>
        <translation>Duplicate the current file</translation>
    </message>
    <message>
        <source>元に戻す(&amp;U)	Ctrl+Z</source>
        <translation>&amp;Undo	Ctrl+Z</translation>
    </message>
    <message>
        <source>直前に行った動作を元に戻す</source>
        <translation>Undo the last action</translation>
    </message>
    <message>
        <source>元に戻す</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>やり直し(&amp;R)	Ctrl+Y</source>
        <translation>&amp;Redo	Ctrl+Y</translation>
    </message>
    <message>
        <source>取り消した操作をやり直します</source>
        <translation>Redo the action that was undone</translation>
    </message>
    <message>
        <source>やり直し</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>切り取り(&amp;T)	Ctrl+X</source>
        <translation>Cu&amp;t	Ctrl+X</translation>
    </message>
    <message>
        <source>選択範囲を切り取ってクリップボードに保存</source>
        <translation>Cut the selection and put it on the clipboard</translation>
    </message>
    <message>
        <source>切り取り</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>コピー(&amp;C)	Ctrl+C</source>
        <translation>&amp;Copy	Ctrl+C</translation>
    </message>
    <message>
        <source>選択範囲をコピーしてクリップボードに保存</source>
        <translation>Copy the selection to the clipboard</translation>
    </message>
    <message>
        <source>貼り付け(&amp;P)	Ctrl+V</source>
        <translation>&amp;Paste	Ctrl+V</translation>
    </message>
    <message>
        <source>クリップボードの内容を貼り付け</source>
        <translation>Paste the contents of the clipboard</translation>
    </message>
    <message>
        <source>貼り付け</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>消去(&amp;D)	Delete</source>
        <translation>De&amp;lete	Delete</translation>
    </message>
    <message>
        <source>選択範囲を消去</source>
        <translation>Delete the selection</translation>
    </message>
    <message>
        <source>消去</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>すべて消去</source>
        <translation>Delete all</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)	Ctrl+A</source>
        <translation>Select &amp;All	Ctrl+A</translation>
    </message>
    <message>
        <source>ファイル内のすべてを選択</source>
        <translation>Select everything in the pane</translation>
    </message>
    <message>
        <source>すべて選択</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>プレビュー画像を保存(&amp;I)...</source>
        <translation>Save Preview &amp;Image...</translation>
    </message>
    <message>
        <source>プレビュー画像を保存</source>
        <translation>Save the preview image as a bitmap</translation>
    </message>
    <message>
        <source>プレビュー表示(&amp;V)</source>
        <translation>&amp;Preview</translation>
    </message>
    <message>
        <source>プレビュー表示</source>
        <translation>Show the selection in the preview</translation>
    </message>
    <message>
        <source>再生	Space</source>
        <translation>Play	Space</translation>
    </message>
    <message>
        <source>現在位置からプロジェクトを再生、再生中は停止</source>
        <translation>Play the project from the current position; stop while playing</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>全トラック表示(&amp;A)	Esc</source>
        <translation>Show &amp;All Tracks	Esc</translation>
    </message>
    <message>
        <source>全トラック表示</source>
        <translation>Show all tracks</translation>
    </message>
    <message>
        <source>拡大(&amp;I)	I</source>
        <translation>Zoom &amp;In	I</translation>
    </message>
    <message>
        <source>拡大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>縮小(&amp;O)	O</source>
        <translation>Zoom &amp;Out	O</translation>
    </message>
    <message>
        <source>縮小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>自動拡張(&amp;E)</source>
        <translation>Auto &amp;Extend</translation>
    </message>
    <message>
        <source>自動拡張</source>
        <translation>Extend the movie automatically to its last event</translation>
    </message>
    <message>
        <source>ツール バー(&amp;T)</source>
        <translation>&amp;Toolbar</translation>
    </message>
    <message>
        <source>ツール バーの 表示/非表示</source>
        <translation>Show or hide the toolbar</translation>
    </message>
    <message>
        <source>ツール バーの表示切り替え</source>
        <translation>Toggle Toolbar</translation>
    </message>
    <message>
        <source>ステータス バー(&amp;S)</source>
        <translation>&amp;Status Bar</translation>
    </message>
    <message>
        <source>ステータス バーの 表示/非表示</source>
        <translation>Show or hide the status bar</translation>
    </message>
    <message>
        <source>ステータス バーの表示切り替え</source>
        <translation>Toggle Status Bar</translation>
    </message>
    <message>
        <source>分割(&amp;P)</source>
        <translation>Sp&amp;lit</translation>
    </message>
    <message>
        <source>作業中のウィンドウを分割</source>
        <translation>Split the active window into panes</translation>
    </message>
    <message>
        <source>分割</source>
        <translation>Split</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)...</source>
        <translation>&amp;About Tavrona...</translation>
    </message>
    <message>
        <source>プログラム情報、バージョン、著作権を表示します。</source>
        <translation>Display program information, version number and copyright.</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>次のウィンドウに切り替える</source>
        <translation>Switch to the next pane</translation>
    </message>
    <message>
        <source>次のペイン</source>
        <translation>Next Pane</translation>
    </message>
    <message>
        <source>前のウィンドウに切り替える</source>
        <translation>Switch back to the previous pane</translation>
    </message>
    <message>
        <source>前のペイン</source>
        <translation>Previous Pane</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>保存</source>
        <comment>tool tip of Copy</comment>
        <translation>Copy</translation>
    </message>
    <message>
        <source>元に戻す - %1(&amp;U)	Ctrl+Z</source>
        <translation>&amp;Undo %1	Ctrl+Z</translation>
    </message>
    <message>
        <source>やり直し - %1(&amp;R)	Ctrl+Y</source>
        <translation>&amp;Redo %1	Ctrl+Y</translation>
    </message>
    <message>
        <source>レディ</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>ファームで書き出し...</source>
        <translation>Export on a Farm...</translation>
    </message>
    <message>
        <source>保存したプロジェクトを Slurm のファームで分割して書き出す</source>
        <translation>Export the saved project in parts on a Slurm farm</translation>
    </message>
    <message>
        <source>ファームの状況...</source>
        <translation>Farm Status...</translation>
    </message>
    <message>
        <source>ファームで書き出し中の部分の状況を表示</source>
        <translation>Show how the parts of a farm export stand</translation>
    </message>
</context>
<context>
    <name>Document</name>
    <message>
        <source>無題</source>
        <translation>Untitled</translation>
    </message>
</context>
<context>
    <name>EditSteps</name>
    <message>
        <source>トラックの音声</source>
        <translation>Track Sound</translation>
    </message>
    <message>
        <source>プロジェクトの設定</source>
        <translation>Project Settings</translation>
    </message>
    <message>
        <source>テンプレートの作成</source>
        <translation>Create Template</translation>
    </message>
    <message>
        <source>切り取り</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>貼り付け</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>テンプレートの削除</source>
        <translation>Delete Template</translation>
    </message>
    <message>
        <source>テンプレートのプロパティ</source>
        <translation>Template Properties</translation>
    </message>
    <message>
        <source>ファイルの追加</source>
        <translation>Add File</translation>
    </message>
    <message>
        <source>ファイルの削除</source>
        <translation>Delete File</translation>
    </message>
    <message>
        <source>ファイルの複製</source>
        <translation>Duplicate File</translation>
    </message>
    <message>
        <source>ファイルのプロパティ</source>
        <translation>File Properties</translation>
    </message>
    <message>
        <source>イベントの移動</source>
        <translation>Move Event</translation>
    </message>
    <message>
        <source>イベントの挿入</source>
        <translation>Insert Event</translation>
    </message>
    <message>
        <source>テンプレートの挿入</source>
        <translation>Insert Template</translation>
    </message>
    <message>
        <source>イベントの削除</source>
        <translation>Delete Event</translation>
    </message>
    <message>
        <source>イベントのプロパティ</source>
        <translation>Event Properties</translation>
    </message>
</context>
<context>
    <name>EventView</name>
    <message>
        <source>プロパティ(&amp;S)...</source>
        <translation>P&amp;roperties...</translation>
    </message>
    <message>
        <source>切り取り(&amp;T)</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>コピー(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>貼り付け(&amp;P)</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>消去(&amp;E)</source>
        <translation>De&amp;lete</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>プレビュー表示(&amp;V)</source>
        <translation>Pre&amp;view</translation>
    </message>
    <message>
        <source>未設定</source>
        <translation>Unset</translation>
    </message>
    <message>
        <source>動画</source>
        <translation>Movie</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>テキスト</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>不明</source>
        <translation>Unknown</translation>
    </message>
</context>
<context>
    <name>FileView</name>
    <message>
        <source>音声</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>プロパティ(&amp;S)...</source>
        <translation>P&amp;roperties...</translation>
    </message>
    <message>
        <source>追加(&amp;N)...</source>
        <translation>Add &amp;File...</translation>
    </message>
    <message>
        <source>複製(&amp;X)</source>
        <translation>&amp;Duplicate</translation>
    </message>
    <message>
        <source>消去(&amp;E)</source>
        <translation>De&amp;lete</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>プレビュー表示(&amp;V)</source>
        <translation>Pre&amp;view</translation>
    </message>
    <message>
        <source>動画</source>
        <translation>Movie</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>テキスト</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>不明</source>
        <translation>Unknown</translation>
    </message>
</context>
<context>
    <name>ImageView</name>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>ビットマップファイル (*.bmp)</source>
        <translation>Bitmap files (*.bmp)</translation>
    </message>
    <message>
        <source>プレビュー画像を保存(&amp;I)...</source>
        <translation>Save Preview &amp;Image...</translation>
    </message>
    <message>
        <source>プレビュー表示(&amp;V)</source>
        <translation>Pre&amp;view</translation>
    </message>
    <message>
        <source>縦横比を保つ</source>
        <translation>Keep &amp;Aspect Ratio</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>音声を出力できないため、音声なしで再生します</source>
        <translation>No sound output is available; playing without sound</translation>
    </message>
    <message>
        <source>プロジェクトファイル (*.vpj);;すべてのファイル (*.*)</source>
        <translation>Project files (*.vpj);;All files (*.*)</translation>
    </message>
    <message>
        <source>再生 %1 / %2 fps</source>
        <translation>Playing %1 / %2 fps</translation>
    </message>
    <message>
        <source>プレビューの解像度(&amp;R)</source>
        <translation>Preview &amp;Resolution</translation>
    </message>
    <message>
        <source>フル</source>
        <translation>Full</translation>
    </message>
    <message>
        <source>1/2</source>
        <translation>1/2</translation>
    </message>
    <message>
        <source>1/4</source>
        <translation>1/4</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>最近使ったファイル</source>
        <translation>Recent Files</translation>
    </message>
    <message>
        <source>指定のファイルを開く</source>
        <translation>Open this project</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>%1 への変更を保存しますか?</source>
        <translation>Save changes to %1?</translation>
    </message>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>標準</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>再生速度</source>
        <translation>Playback rate</translation>
    </message>
    <message>
        <source>Caps Lock</source>
        <translation>Caps Lock</translation>
    </message>
    <message>
        <source>Num Lock</source>
        <translation>Num Lock</translation>
    </message>
    <message>
        <source>Scroll Lock</source>
        <translation>Scroll Lock</translation>
    </message>
    <message>
        <source>ステータス バー</source>
        <translation>Status bar</translation>
    </message>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>テンプレート</source>
        <translation>Templates</translation>
    </message>
    <message>
        <source>タイムライン</source>
        <translation>Timeline</translation>
    </message>
    <message>
        <source>作業中のウィンドウを分割</source>
        <translation>Move the pane dividers with the arrow keys; Enter keeps them, Esc restores them</translation>
    </message>
</context>
<context>
    <name>Prompts</name>
    <message>
        <source>すべてに適用</source>
        <translation>Apply to all</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Recovery</name>
    <message>
        <source>自動保存できませんでした: %1</source>
        <translation>Could not save automatically: %1</translation>
    </message>
    <message>
        <source>メモリが足りません</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>保存されていない変更が見つかりました。
%1 (%2)
復元しますか?</source>
        <translation>Unsaved changes were found.
%1 (%2)
Recover them?</translation>
    </message>
    <message>
        <source>回復用ファイルを読み込めませんでした。
%1: %2</source>
        <translation>Could not read the recovery file.
%1: %2</translation>
    </message>
    <message>
        <source>
%1 に移しました。</source>
        <translation>
It was moved to %1.</translation>
    </message>
</context>
<context>
    <name>TrackView</name>
    <message>
        <source>音声(&amp;U)...</source>
        <translation>So&amp;und...</translation>
    </message>
    <message>
        <source>プロパティ(&amp;S)...</source>
        <translation>P&amp;roperties...</translation>
    </message>
    <message>
        <source>切り取り(&amp;T)</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>コピー(&amp;C)</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>貼り付け(&amp;P)</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>消去(&amp;E)</source>
        <translation>De&amp;lete</translation>
    </message>
    <message>
        <source>すべて選択(&amp;A)</source>
        <translation>Select &amp;All</translation>
    </message>
    <message>
        <source>プレビュー表示(&amp;V)</source>
        <translation>Pre&amp;view</translation>
    </message>
    <message>
        <source>全トラック表示(&amp;A)</source>
        <translation>Show All Trac&amp;ks</translation>
    </message>
    <message>
        <source>拡大(&amp;I)</source>
        <translation>Zoom &amp;In</translation>
    </message>
    <message>
        <source>縮小(&amp;O)</source>
        <translation>Zoom &amp;Out</translation>
    </message>
    <message>
        <source>自動拡張(&amp;E)</source>
        <translation>Auto &amp;Extend</translation>
    </message>
</context>
</TS>
