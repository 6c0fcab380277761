<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CompressorDialog</name>
    <message>
        <source>ビデオの圧縮</source>
        <translation>Video Compression</translation>
    </message>
    <message>
        <source>圧縮プログラム(&amp;C):</source>
        <translation>&amp;Compressor:</translation>
    </message>
    <message>
        <source>PCM 16ビット (非圧縮)</source>
        <translation>16-bit PCM (uncompressed)</translation>
    </message>
    <message>
        <source>%1 (可逆圧縮)</source>
        <translation>%1 (lossless)</translation>
    </message>
    <message>
        <source>音声(&amp;A):</source>
        <translation>&amp;Sound:</translation>
    </message>
    <message>
        <source>なし (音声を書き出さない)</source>
        <translation>None (no sound)</translation>
    </message>
</context>
<context>
    <name>DialogButtons</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>EventDialog</name>
    <message>
        <source>プロジェクトの既定</source>
        <translation>Project default</translation>
    </message>
    <message>
        <source>通常（初期バージョン）</source>
        <translation>Normal (first version)</translation>
    </message>
    <message>
        <source>境界修正</source>
        <translation>Edge correction</translation>
    </message>
    <message>
        <source>線形補間</source>
        <translation>Linear interpolation</translation>
    </message>
    <message>
        <source>線形補間と色補正</source>
        <translation>Linear interpolation and colour correction</translation>
    </message>
    <message>
        <source>通常</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>論理積</source>
        <translation>AND</translation>
    </message>
    <message>
        <source>論理和</source>
        <translation>OR</translation>
    </message>
    <message>
        <source>排他論理和</source>
        <translation>XOR</translation>
    </message>
    <message>
        <source>乗算</source>
        <translation>Multiply</translation>
    </message>
    <message>
        <source>加算</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>減算</source>
        <translation>Subtract</translation>
    </message>
    <message>
        <source>イベントのプロパティ</source>
        <translation>Event Properties</translation>
    </message>
    <message>
        <source>次のイベントとの間を補間する</source>
        <translation>Interpolate up to the next event</translation>
    </message>
    <message>
        <source>変換行列を指定する</source>
        <translation>Specify a transformation matrix</translation>
    </message>
    <message>
        <source>領域の左</source>
        <translation>Region left</translation>
    </message>
    <message>
        <source>領域の上</source>
        <translation>Region top</translation>
    </message>
    <message>
        <source>領域の右</source>
        <translation>Region right</translation>
    </message>
    <message>
        <source>領域の下</source>
        <translation>Region bottom</translation>
    </message>
    <message>
        <source>不透明度</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>赤</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>緑</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>青</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>基準位置 X</source>
        <translation>Origin X</translation>
    </message>
    <message>
        <source>基準位置 Y</source>
        <translation>Origin Y</translation>
    </message>
    <message>
        <source>位置 X</source>
        <translation>Position X</translation>
    </message>
    <message>
        <source>位置 Y</source>
        <translation>Position Y</translation>
    </message>
    <message>
        <source>変換行列 %1 行 %2 列</source>
        <translation>Transformation matrix row %1, column %2</translation>
    </message>
    <message>
        <source>開始位置</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>ファイルID</source>
        <translation>File ID</translation>
    </message>
    <message>
        <source>描画方法</source>
        <translation>Drawing method</translation>
    </message>
    <message>
        <source>再生位置</source>
        <translation>Playback position</translation>
    </message>
    <message>
        <source>再生速度</source>
        <translation>Playback speed</translation>
    </message>
    <message>
        <source>領域左上</source>
        <translation>Region top left</translation>
    </message>
    <message>
        <source>領域右下</source>
        <translation>Region bottom right</translation>
    </message>
    <message>
        <source>不透明度と色(ARGB)</source>
        <translation>Opacity and colour (ARGB)</translation>
    </message>
    <message>
        <source>合成方法</source>
        <translation>Blend mode</translation>
    </message>
    <message>
        <source>基準位置</source>
        <translation>Origin</translation>
    </message>
    <message>
        <source>拡大率</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>回転角</source>
        <translation>Rotation</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>変換行列</source>
        <translation>Transformation matrix</translation>
    </message>
</context>
<context>
    <name>ExportCommand</name>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>AVIファイル (*.avi)</source>
        <translation>AVI Files (*.avi)</translation>
    </message>
    <message>
        <source>%1 フレームで動画の画像を取得できませんでした (ID: %2)。</source>
        <translation>Could not get the movie image in %1 frames (IDs: %2).</translation>
    </message>
</context>
<context>
    <name>FieldChecks</name>
    <message>
        <source>正の整数を入力してください。</source>
        <translation>Enter a positive whole number.</translation>
    </message>
    <message>
        <source>整数を入力してください。</source>
        <translation>Enter a whole number.</translation>
    </message>
    <message>
        <source>数字を入力してください。</source>
        <translation>Enter a number.</translation>
    </message>
    <message>
        <source>%1 から %2 までの整数を入力してください。</source>
        <translation>Enter a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>%1 から %2 までの数字を入力してください。</source>
        <translation>Enter a number from %1 to %2.</translation>
    </message>
    <message>
        <source>%1 文字以内で入力してください。</source>
        <translation>Enter no more than %1 characters.</translation>
    </message>
</context>
<context>
    <name>FileDialog</name>
    <message>
        <source>1（最細）</source>
        <translation>1 (thinnest)</translation>
    </message>
    <message>
        <source>4（標準）</source>
        <translation>4 (normal)</translation>
    </message>
    <message>
        <source>9（最太）</source>
        <translation>9 (boldest)</translation>
    </message>
    <message>
        <source>ファイル&quot;%1&quot;の読み込みに失敗しました。</source>
        <translation>Could not load the file &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>ファイルのプロパティ</source>
        <translation>File Properties</translation>
    </message>
    <message>
        <source>ファイルではなくテキストを使用する</source>
        <translation>Use text instead of a file</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>透明色を使用</source>
        <translation>Use a transparent colour</translation>
    </message>
    <message>
        <source>赤</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>緑</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>青</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>斜体</source>
        <translation>Italic</translation>
    </message>
    <message>
        <source>下線</source>
        <translation>Underline</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Strikeout</translation>
    </message>
    <message>
        <source>ファイルID</source>
        <translation>File ID</translation>
    </message>
    <message>
        <source>使用するファイルのパス</source>
        <translation>Path of the file to use</translation>
    </message>
    <message>
        <source>動画ファイルのフレームレートの参考値</source>
        <translation>Reference frame rate of a movie file</translation>
    </message>
    <message>
        <source>色(RGB)</source>
        <translation>Colour (RGB)</translation>
    </message>
    <message>
        <source>表示するテキスト</source>
        <translation>Text to show</translation>
    </message>
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>フォント名</source>
        <translation>Font name</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>太さ</source>
        <translation>Weight</translation>
    </message>
    <message>
        <source>読み込み可能なファイル (*.*)</source>
        <translation>Readable files (*.*)</translation>
    </message>
    <message>
        <source>テキストの作成に失敗しました。</source>
        <translation>Could not create the text.</translation>
    </message>
</context>
<context>
    <name>ProgressDialog</name>
    <message>
        <source>AVIファイル作成状況</source>
        <translation>AVI Export Progress</translation>
    </message>
    <message>
        <source>現在の画像を表示する</source>
        <translation>Show the current image</translation>
    </message>
    <message>
        <source>タイムアウトをエラーにする</source>
        <translation>Treat a timeout as an error</translation>
    </message>
    <message>
        <source>イベント描画時にエラーが発生した場合は中断する</source>
        <translation>Stop when an error occurs while drawing an event</translation>
    </message>
    <message>
        <source>進行状況</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>Abort</translation>
    </message>
</context>
<context>
    <name>ProjectDialog</name>
    <message>
        <source>システムの既定（INIファイル）</source>
        <translation>System default (INI file)</translation>
    </message>
    <message>
        <source>通常（初期バージョン）</source>
        <translation>Normal (first version)</translation>
    </message>
    <message>
        <source>境界修正</source>
        <translation>Edge correction</translation>
    </message>
    <message>
        <source>線形補間</source>
        <translation>Linear interpolation</translation>
    </message>
    <message>
        <source>線形補間と色補正</source>
        <translation>Linear interpolation and colour correction</translation>
    </message>
    <message>
        <source>プロジェクトのプロパティ</source>
        <translation>Project Properties</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>赤</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>緑</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>青</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>ファイルの基準パス</source>
        <translation>Base path for files</translation>
    </message>
    <message>
        <source>出力の幅</source>
        <translation>Output width</translation>
    </message>
    <message>
        <source>出力の高さ</source>
        <translation>Output height</translation>
    </message>
    <message>
        <source>フレームレート</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>動画の長さ</source>
        <translation>Movie length</translation>
    </message>
    <message>
        <source>背景色(RGB)</source>
        <translation>Background colour (RGB)</translation>
    </message>
    <message>
        <source>既定の描画方法</source>
        <translation>Default drawing method</translation>
    </message>
    <message>
        <source>ファイルの基準パスを選択してください。</source>
        <translation>Choose the base path for files.</translation>
    </message>
</context>
<context>
    <name>TrackSoundDialog</name>
    <message>
        <source>トラック %1 の音声</source>
        <translation>Sound of Track %1</translation>
    </message>
    <message>
        <source>音量 (dB)(&amp;V):</source>
        <translation>&amp;Volume (dB):</translation>
    </message>
    <message>
        <source>ミュート(&amp;M)</source>
        <translation>&amp;Mute</translation>
    </message>
</context>
</TS>
