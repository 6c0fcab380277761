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
    <message>
        <source>書き出す範囲</source>
        <translation>Frames to export</translation>
    </message>
    <message>
        <source>プロジェクト全体(&amp;W)</source>
        <translation>&amp;Whole project</translation>
    </message>
    <message>
        <source>選択範囲(&amp;S): フレーム %1 - %2</source>
        <translation>&amp;Selection: frames %1 - %2</translation>
    </message>
</context>
<context>
    <name>DialogButtons</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
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
    <message>
        <source>MP4ファイル (*.mp4 *.m4v)</source>
        <translation>MP4 Files (*.mp4 *.m4v)</translation>
    </message>
    <message>
        <source>Matroskaファイル (*.mkv)</source>
        <translation>Matroska Files (*.mkv)</translation>
    </message>
    <message>
        <source>QuickTimeファイル (*.mov)</source>
        <translation>QuickTime Files (*.mov)</translation>
    </message>
    <message>
        <source>フレーム %1 - %2 だけを書き出すことはできません。%3 では %4 フレームごとにキーフレームがあるため、範囲は %4 の倍数のフレームから始まり、キーフレームの直前か最後のフレーム (%5) で終わる必要があります。</source>
        <translation>Frames %1 - %2 cannot be exported on their own. %3 places a key frame every %4 frames, so the range must start at a multiple of %4 and end just before a key frame or at the last frame (%5).</translation>
    </message>
</context>
<context>
    <name>Farm</name>
    <message>
        <source>プロジェクトファイルを読めません: %1</source>
        <translation>Cannot read the project file: %1</translation>
    </message>
    <message>
        <source>この圧縮プログラムは出力ファイルの形式に書き込めません。</source>
        <translation>This compressor cannot write into the output file's format.</translation>
    </message>
    <message>
        <source>プロジェクトにフレームがありません。</source>
        <translation>The project has no frames.</translation>
    </message>
    <message>
        <source>分割数がフレーム数より多くなっています。</source>
        <translation>There are more parts than frames.</translation>
    </message>
    <message>
        <source>出力ファイルの場所を決められません: %1</source>
        <translation>Cannot resolve the output file's location: %1</translation>
    </message>
    <message>
        <source>改行を含むファイル名は使えません。</source>
        <translation>File names with line breaks cannot be used.</translation>
    </message>
    <message>
        <source>出力先のフォルダがありません: %1</source>
        <translation>The output folder does not exist: %1</translation>
    </message>
    <message>
        <source>この音声の圧縮形式は出力ファイルの形式に書き込めません。</source>
        <translation>This sound codec cannot be written into the output file's format.</translation>
    </message>
    <message>
        <source>プロジェクトのフレームレートでは書き出せません。</source>
        <translation>The project's frame rate cannot be exported.</translation>
    </message>
    <message>
        <source>%1 フレームごとにキーフレームがあるため、%2 個までにしか分割できません。</source>
        <translation>With a key frame every %1 frames, the export can be split into at most %2 parts.</translation>
    </message>
    <message>
        <source>部分のフォルダを作成できません: %1</source>
        <translation>Cannot create the parts folder: %1</translation>
    </message>
    <message>
        <source>ほかの送信がこの出力ファイルのフォルダを使用中です。</source>
        <translation>Another submission is using this output file's folder.</translation>
    </message>
    <message>
        <source>前回のジョブ %1 がまだ待機中か実行中です。終わるのを待ってください。</source>
        <translation>The earlier jobs %1 are still queued or running. Wait for them to end.</translation>
    </message>
    <message>
        <source>ファイルを書き込めません: %1</source>
        <translation>Cannot write the file: %1</translation>
    </message>
    <message>
        <source>部分を送信できませんでした: %1</source>
        <translation>The parts were not submitted: %1</translation>
    </message>
    <message>
        <source>部分: ジョブ %1 (%2 個中 %3 個)</source>
        <translation>Parts: job %1 (%3 of %2 parts)</translation>
    </message>
    <message>
        <source>部分: %1 個ともできあがっているため、送信していません</source>
        <translation>Parts: all %1 are complete; none submitted</translation>
    </message>
    <message>
        <source>結合を送信できませんでした: %1</source>
        <translation>The join was not submitted: %1</translation>
    </message>
    <message>
        <source>結合: ジョブ %1</source>
        <translation>Join: job %1</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>Complete</translation>
    </message>
    <message>
        <source>未完了</source>
        <translation>Incomplete</translation>
    </message>
    <message>
        <source>古い</source>
        <translation>Stale</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>待機中</source>
        <translation>Queued</translation>
    </message>
    <message>
        <source>実行中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>まだありません</source>
        <translation>not there yet</translation>
    </message>
    <message>
        <source>できあがっています</source>
        <translation>complete</translation>
    </message>
    <message>
        <source>古いファイルです (この部分から結合した記録がありません)</source>
        <translation>stale (no join of these parts is recorded)</translation>
    </message>
    <message>
        <source>古いファイルです (以前の部分から結合されました)</source>
        <translation>stale (joined from the parts of an earlier plan)</translation>
    </message>
    <message>
        <source>古いファイルです (結合の後に書き換えられました)</source>
        <translation>stale (written again since the join)</translation>
    </message>
    <message>
        <source>sbatch が見つからないため、ファームで書き出せません (Slurm のコマンドを PATH に置いてください)</source>
        <translation>sbatch was not found, so the farm cannot export (put Slurm's commands on PATH)</translation>
    </message>
</context>
<context>
    <name>FarmDialog</name>
    <message>
        <source>ファームで書き出し</source>
        <translation>Export on a Farm</translation>
    </message>
    <message>
        <source>参照(&amp;B)...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>出力ファイル(&amp;O):</source>
        <translation>&amp;Output file:</translation>
    </message>
    <message>
        <source>圧縮プログラム(&amp;C):</source>
        <translation>&amp;Compressor:</translation>
    </message>
    <message>
        <source>分割数(&amp;N):</source>
        <translation>&amp;Number of parts:</translation>
    </message>
    <message>
        <source>クラスタの既定</source>
        <translation>the cluster's default</translation>
    </message>
    <message>
        <source>パーティション(&amp;P):</source>
        <translation>&amp;Partition:</translation>
    </message>
    <message>
        <source>パーティションの既定 (例: 1:00:00)</source>
        <translation>the partition's default (e.g. 1:00:00)</translation>
    </message>
    <message>
        <source>制限時間(&amp;T):</source>
        <translation>&amp;Time limit:</translation>
    </message>
    <message>
        <source>送信(&amp;S)</source>
        <translation>&amp;Submit</translation>
    </message>
    <message>
        <source>出力ファイル</source>
        <translation>Output File</translation>
    </message>
    <message>
        <source>送信しています...</source>
        <translation>Submitting...</translation>
    </message>
</context>
<context>
    <name>FarmStatus</name>
    <message>
        <source>ファームの状況</source>
        <translation>Farm Status</translation>
    </message>
    <message>
        <source>出力ファイル(&amp;O):</source>
        <translation>&amp;Output file:</translation>
    </message>
    <message>
        <source>参照(&amp;B)...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>フレーム</source>
        <translation>Frames</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>State</translation>
    </message>
    <message>
        <source>詳細</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>部分</source>
        <translation>Parts</translation>
    </message>
    <message>
        <source>更新(&amp;R)</source>
        <translation>&amp;Refresh</translation>
    </message>
    <message>
        <source>残りを再実行(&amp;E)</source>
        <translation>R&amp;erun the rest</translation>
    </message>
    <message>
        <source>送信しています...</source>
        <translation>Submitting...</translation>
    </message>
    <message>
        <source>ファームの記録</source>
        <translation>Farm Record</translation>
    </message>
    <message>
        <source>ファームの記録 (manifest.txt)</source>
        <translation>Farm record (manifest.txt)</translation>
    </message>
    <message>
        <source>出力ファイル名.parts フォルダの manifest.txt を選んでください。</source>
        <translation>Choose the manifest.txt in the output file's .parts folder.</translation>
    </message>
    <message>
        <source>ファームの記録を読めません: %1</source>
        <translation>Cannot read the farm record: %1</translation>
    </message>
    <message>
        <source>部分: %1 個中 %2 個が完了
出力ファイル: %3</source>
        <translation>Parts: %2 of %1 complete
Output file: %3</translation>
    </message>
    <message>
        <source>実行中のジョブ: %1</source>
        <translation>Jobs at work: %1</translation>
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
