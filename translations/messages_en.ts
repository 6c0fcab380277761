<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Messages</name>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>読み込みに失敗しました。</source>
        <translation>The project could not be loaded.</translation>
    </message>
    <message>
        <source>保存に失敗しました。</source>
        <translation>The file could not be saved.</translation>
    </message>
    <message>
        <source>ファイルが多すぎます。</source>
        <translation>There are too many files.</translation>
    </message>
    <message>
        <source>指定したIDはすでに使用されています。</source>
        <translation>The ID you chose is already in use.</translation>
    </message>
    <message>
        <source>ファイルの複製に失敗しました。</source>
        <translation>The file could not be duplicated.</translation>
    </message>
    <message>
        <source>ファイルが開けません。</source>
        <translation>The file cannot be opened.</translation>
    </message>
    <message>
        <source>エラーまたはキャンセル操作によって中断されました。</source>
        <translation>The export was stopped by an error or by a cancel.</translation>
    </message>
    <message>
        <source>動画の画像の取得がタイムアウトしました。続行しますか？</source>
        <translation>Fetching a picture from the movie timed out. Do you want to continue?</translation>
    </message>
    <message>
        <source>動画の長さは最大で%1フレームに制限されます。</source>
        <translation>The movie length is limited to %1 frames.</translation>
    </message>
    <message>
        <source>ファイル&quot;%1&quot;の読み込みに失敗しました。続行しますか？
続行すると、このファイルの設定は破棄されます。</source>
        <translation>The file &quot;%1&quot; could not be loaded. Do you want to continue?
If you continue, the settings of this file are discarded.</translation>
    </message>
    <message>
        <source>テキスト&quot;%1&quot;の作成に失敗しました。続行しますか？
続行すると、このファイルの設定は破棄されます。</source>
        <translation>The text &quot;%1&quot; could not be created. Do you want to continue?
If you continue, the settings of this file are discarded.</translation>
    </message>
    <message>
        <source>現在位置 %1	進捗度 %2%
経過時間 %3	推定残り時間 %4</source>
        <translation>Position %1	Progress %2%
Elapsed %3	Remaining %4</translation>
    </message>
    <message>
        <source>全フレーム (非圧縮)</source>
        <translation>Full frames (uncompressed)</translation>
    </message>
    <message>
        <source>%1 (可逆圧縮)</source>
        <translation>%1 (lossless)</translation>
    </message>
</context>
</TS>
