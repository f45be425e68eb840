<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>ColourDialog</name>
    <message>
        <source>グラフの線 (CH&amp;1)</source>
        <translation>Trace (CH&amp;1)</translation>
    </message>
    <message>
        <source>グラフの線 (CH&amp;2)</source>
        <translation>Trace (CH&amp;2)</translation>
    </message>
    <message>
        <source>グラフの線 (&amp;MATH)</source>
        <translation>Trace (&amp;MATH)</translation>
    </message>
    <message>
        <source>グラフの線 (&amp;FFT)</source>
        <translation>Trace (&amp;FFT)</translation>
    </message>
    <message>
        <source>グラフの背景(&amp;B)</source>
        <translation>&amp;Background</translation>
    </message>
    <message>
        <source>グラフの目盛り(&amp;S)</source>
        <translation>&amp;Scale</translation>
    </message>
    <message>
        <source>トリガレベル(&amp;L)</source>
        <translation>Trigger &amp;level</translation>
    </message>
    <message>
        <source>トリガポジション(&amp;P)</source>
        <translation>Trigger &amp;position</translation>
    </message>
    <message>
        <source>Δ &amp;T カーソル</source>
        <translation>Δ&amp;T cursor</translation>
    </message>
    <message>
        <source>Δ &amp;V カーソル</source>
        <translation>Δ&amp;V cursor</translation>
    </message>
    <message>
        <source>表示色の変更</source>
        <translation>Display Colours</translation>
    </message>
    <message>
        <source>適用(&amp;A)</source>
        <translation>&amp;Apply</translation>
    </message>
    <message>
        <source>デフォルトの色に戻す(&amp;R)</source>
        <translation>&amp;Restore the default colours</translation>
    </message>
</context>
<context>
    <name>Display</name>
    <message>
        <source>波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Home/End)</source>
        <translation>Move the waveform view (Ctrl+←/→/PageUp/PageDown/Home/End)</translation>
    </message>
    <message>
        <source>波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Insert/Home/End)</source>
        <translation>Move the waveform view (Ctrl+←/→/PageUp/PageDown/Insert/Home/End)</translation>
    </message>
</context>
<context>
    <name>DriverForm</name>
    <message>
        <source>デバッグ画面表示切替(Shift+F12)</source>
        <translation>Show or hide the debug window (Shift+F12)</translation>
    </message>
</context>
<context>
    <name>Files</name>
    <message>
        <source>ファイルを開く</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイルが見つかりません。<byte value="xd"/>
指定したファイル名が正しいかどうか確認してください。</source>
        <translation><byte value="xd"/>
File not found.<byte value="xd"/>
Check that the file name is correct.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
このファイルは読み取り専用属性が設定されています。<byte value="xd"/>
別のファイル名を使用してください。</source>
        <translation><byte value="xd"/>
This file is read-only.<byte value="xd"/>
Use another file name.</translation>
    </message>
    <message>
        <source> は既に存在します。<byte value="xd"/>
上書きしますか？</source>
        <translation> already exists.<byte value="xd"/>
Do you want to replace it?</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイルを作成できません。</source>
        <translation><byte value="xd"/>
The file cannot be created.</translation>
    </message>
    <message>
        <source>ファイル書き込み中にエラーが発生しました。</source>
        <translation>An error occurred while writing the file.</translation>
    </message>
    <message>
        <source>拡張子がZEPのファイルを指定してください。</source>
        <translation>Choose a file with the extension ZEP.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイルを開けません。</source>
        <translation><byte value="xd"/>
The file cannot be opened.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイル形式が合いません。<byte value="xd"/>
指定したファイルの内容を確認してください。</source>
        <translation><byte value="xd"/>
The file format does not match.<byte value="xd"/>
Check the contents of the file.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイルを開けません。<byte value="xd"/>
CSVファイルが削除されていないか確認してください。</source>
        <translation><byte value="xd"/>
The file cannot be opened.<byte value="xd"/>
Check that the CSV files have not been deleted.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
ファイル形式が合いません。<byte value="xd"/>
CSVファイルの内容を確認してください。</source>
        <translation><byte value="xd"/>
The file format does not match.<byte value="xd"/>
Check the contents of the CSV files.</translation>
    </message>
    <message>
        <source>ファイル保存</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>パラメータファイル読み込み中にエラーが発生しました。<byte value="xd"/>
デフォルト値を設定します。</source>
        <translation>An error occurred while reading the parameter file.<byte value="xd"/>
The default values are set.</translation>
    </message>
    <message>
        <source>パラメータファイル書き込み中にエラーが発生しました。</source>
        <translation>An error occurred while writing the parameter file.</translation>
    </message>
    <message>
        <source>(ﾗｲﾄﾌﾟﾛﾃｸﾄ)</source>
        <translation>(write-protected)</translation>
    </message>
</context>
<context>
    <name>Measure</name>
    <message>
        <source>自動測定パネル表示</source>
        <translation>Show the automatic measurements panel</translation>
    </message>
    <message>
        <source>測定する波形</source>
        <translation>Waveform to measure</translation>
    </message>
    <message>
        <source>測定範囲 (記録全体/画面/ΔTカーソル間)</source>
        <translation>Range measured (whole record / screen / between the ΔT cursors)</translation>
    </message>
    <message>
        <source>表示する測定項目の選択</source>
        <translation>Choose the measurements shown</translation>
    </message>
    <message>
        <source>統計のリセット</source>
        <translation>Reset the statistics</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>言語(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>設定ファイルに書き込めません。<byte value="xd"/>
</source>
        <translation>The preferences file cannot be written.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>表示言語の変更は次回の起動から有効になります。</source>
        <translation>The new display language takes effect at the next start.</translation>
    </message>
    <message>
        <source>測定(&amp;E)</source>
        <translation>M&amp;easure</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>実行(&amp;X)</source>
        <translation>E&amp;xecute</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>Δ&amp;T カーソル</source>
        <translation>Δ&amp;T Cursor</translation>
    </message>
    <message>
        <source>Δ&amp;V カーソル</source>
        <translation>Δ&amp;V Cursor</translation>
    </message>
    <message>
        <source>ヘルプヒント(&amp;H)</source>
        <translation>&amp;Help Hints</translation>
    </message>
    <message>
        <source>オプション(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ユーザーズマニュアル(&amp;PDF)</source>
        <translation>User&apos;s Manual (&amp;PDF)</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;V)...</source>
        <translation>&amp;Version...</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>エラー ]<byte value="xd"/>
サンプリングを停止します。</source>
        <translation> error ]<byte value="xd"/>
Sampling is stopped.</translation>
    </message>
    <message>
        <source>データ取得</source>
        <translation>Data read</translation>
    </message>
    <message>
        <source>サンプリング開始</source>
        <translation>Sampling start</translation>
    </message>
    <message>
        <source>サンプリング動作モード設定</source>
        <translation>Sampling mode setting</translation>
    </message>
    <message>
        <source>ステータス取得</source>
        <translation>Status read</translation>
    </message>
    <message>
        <source> のロードに失敗しました。</source>
        <translation> could not be loaded.</translation>
    </message>
    <message>
        <source>使用可能なデバイスがありません。<byte value="xd"/>
[ </source>
        <translation>No device is available.<byte value="xd"/>
[ </translation>
    </message>
    <message>
        <source>実装メモリサイズが不正です。</source>
        <translation>The installed memory size is invalid.</translation>
    </message>
    <message>
        <source>[ アベレージ演算エラー ]<byte value="xd"/>
波形取り込み回数を変更してください。</source>
        <translation>[ Averaging error ]<byte value="xd"/>
Change the number of acquisitions.</translation>
    </message>
    <message>
        <source>FFT演算初期化処理エラー<byte value="xd"/>
FFT演算をOFFにしてください。</source>
        <translation>FFT initialisation error<byte value="xd"/>
Turn FFT off.</translation>
    </message>
    <message>
        <source>FFT演算エラー<byte value="xd"/>
FFT演算をOFFにしてください。</source>
        <translation>FFT calculation error<byte value="xd"/>
Turn FFT off.</translation>
    </message>
</context>
<context>
    <name>Panel</name>
    <message>
        <source>未満</source>
        <translation>Under</translation>
    </message>
    <message>
        <source>以上</source>
        <translation>Over</translation>
    </message>
    <message>
        <source>function1/2/3 表示切替 (Ctrl+Tab)</source>
        <translation>Switch function1/2/3 (Ctrl+Tab)</translation>
    </message>
    <message>
        <source>垂直軸設定</source>
        <translation>Vertical settings</translation>
    </message>
    <message>
        <source>CH1表示 (Ctrl+1)</source>
        <translation>Show CH1 (Ctrl+1)</translation>
    </message>
    <message>
        <source>CH2表示 (Ctrl+2)</source>
        <translation>Show CH2 (Ctrl+2)</translation>
    </message>
    <message>
        <source>CH1垂直軸ポジション設定 (Shift+↑/↓)</source>
        <translation>CH1 vertical position (Shift+↑/↓)</translation>
    </message>
    <message>
        <source>CH2垂直軸ポジション設定 (Ctrl+↑/↓)</source>
        <translation>CH2 vertical position (Ctrl+↑/↓)</translation>
    </message>
    <message>
        <source>CH1垂直軸スケール設定</source>
        <translation>CH1 vertical scale</translation>
    </message>
    <message>
        <source>CH2垂直軸スケール設定</source>
        <translation>CH2 vertical scale</translation>
    </message>
    <message>
        <source>CH1プローブ減衰率設定</source>
        <translation>CH1 probe attenuation</translation>
    </message>
    <message>
        <source>CH2プローブ減衰率設定</source>
        <translation>CH2 probe attenuation</translation>
    </message>
    <message>
        <source>CH1入力結合設定</source>
        <translation>CH1 input coupling</translation>
    </message>
    <message>
        <source>CH2入力結合設定</source>
        <translation>CH2 input coupling</translation>
    </message>
    <message>
        <source>トリガ設定</source>
        <translation>Trigger settings</translation>
    </message>
    <message>
        <source>トリガソース設定</source>
        <translation>Trigger source</translation>
    </message>
    <message>
        <source>トリガ入力結合設定</source>
        <translation>Trigger coupling</translation>
    </message>
    <message>
        <source>トリガスロープ設定</source>
        <translation>Trigger slope</translation>
    </message>
    <message>
        <source>トリガレベル設定 (Shift+Ctrl+↑/↓)</source>
        <translation>Trigger level (Shift+Ctrl+↑/↓)</translation>
    </message>
    <message>
        <source>トリガポジション設定 (Shift+Ctrl+←/→)</source>
        <translation>Trigger position (Shift+Ctrl+←/→)</translation>
    </message>
    <message>
        <source>トリガ遅延設定</source>
        <translation>Trigger delay</translation>
    </message>
    <message>
        <source>遅延時間設定</source>
        <translation>Delay time</translation>
    </message>
    <message>
        <source>パルストリガ設定</source>
        <translation>Pulse trigger</translation>
    </message>
    <message>
        <source>パルス幅設定</source>
        <translation>Pulse width</translation>
    </message>
    <message>
        <source>パルス幅条件設定</source>
        <translation>Pulse width condition</translation>
    </message>
    <message>
        <source>水平軸設定</source>
        <translation>Horizontal settings</translation>
    </message>
    <message>
        <source>水平軸スケール設定</source>
        <translation>Horizontal scale</translation>
    </message>
    <message>
        <source>メモリサイズ設定</source>
        <translation>Memory size</translation>
    </message>
    <message>
        <source>カーソル設定</source>
        <translation>Cursor settings</translation>
    </message>
    <message>
        <source>ΔTカーソル表示 (Shift+T)</source>
        <translation>Show the ΔT cursors (Shift+T)</translation>
    </message>
    <message>
        <source>ΔVカーソル表示 (Shift+V)</source>
        <translation>Show the ΔV cursors (Shift+V)</translation>
    </message>
    <message>
        <source>ΔTカーソル移動 (Shift+Alt+←/→)</source>
        <translation>Move the ΔT cursor (Shift+Alt+←/→)</translation>
    </message>
    <message>
        <source>ΔVカーソル移動 (Shift+Alt+↑/↓)</source>
        <translation>Move the ΔV cursor (Shift+Alt+↑/↓)</translation>
    </message>
    <message>
        <source>周波数帯域設定</source>
        <translation>Bandwidth settings</translation>
    </message>
    <message>
        <source>CH1周波数帯域FULL設定</source>
        <translation>CH1 bandwidth FULL</translation>
    </message>
    <message>
        <source>CH1周波数帯域20MHz設定</source>
        <translation>CH1 bandwidth 20MHz</translation>
    </message>
    <message>
        <source>CH2周波数帯域FULL設定</source>
        <translation>CH2 bandwidth FULL</translation>
    </message>
    <message>
        <source>CH2周波数帯域20MHz設定</source>
        <translation>CH2 bandwidth 20MHz</translation>
    </message>
    <message>
        <source>波形取り込みモード設定</source>
        <translation>Acquisition settings</translation>
    </message>
    <message>
        <source>等価サンプリングモード設定</source>
        <translation>Equivalent-time sampling</translation>
    </message>
    <message>
        <source>ロールモード設定</source>
        <translation>Roll mode</translation>
    </message>
    <message>
        <source>波形表示モード設定</source>
        <translation>Waveform mode</translation>
    </message>
    <message>
        <source>波形取り込み回数設定</source>
        <translation>Number of acquisitions</translation>
    </message>
    <message>
        <source>波形演算設定</source>
        <translation>Waveform mathematics settings</translation>
    </message>
    <message>
        <source>演算波形表示 (Ctrl+A)</source>
        <translation>Show MATH (Ctrl+A)</translation>
    </message>
    <message>
        <source>演算波形垂直軸ポジション設定 (Shift+PageUp/PageDown)</source>
        <translation>MATH vertical position (Shift+PageUp/PageDown)</translation>
    </message>
    <message>
        <source>演算波形垂直軸スケール設定</source>
        <translation>MATH vertical scale</translation>
    </message>
    <message>
        <source>第1波形CH1設定</source>
        <translation>1st waveform CH1</translation>
    </message>
    <message>
        <source>第1波形CH2設定</source>
        <translation>1st waveform CH2</translation>
    </message>
    <message>
        <source>第2波形CH1設定</source>
        <translation>2nd waveform CH1</translation>
    </message>
    <message>
        <source>第2波形CH2設定</source>
        <translation>2nd waveform CH2</translation>
    </message>
    <message>
        <source>演算子＋設定</source>
        <translation>Operator ＋</translation>
    </message>
    <message>
        <source>演算子－設定</source>
        <translation>Operator －</translation>
    </message>
    <message>
        <source>演算子×設定</source>
        <translation>Operator ×</translation>
    </message>
    <message>
        <source>演算子÷設定</source>
        <translation>Operator ÷</translation>
    </message>
    <message>
        <source>FFT演算設定</source>
        <translation>FFT settings</translation>
    </message>
    <message>
        <source>FFT波形表示 (Ctrl+F)</source>
        <translation>Show FFT (Ctrl+F)</translation>
    </message>
    <message>
        <source>FFT波形垂直軸ポジション設定 (Shift+PageUp/PageDown)</source>
        <translation>FFT vertical position (Shift+PageUp/PageDown)</translation>
    </message>
    <message>
        <source>FFT波形垂直軸スケール設定</source>
        <translation>FFT vertical scale</translation>
    </message>
    <message>
        <source>FFT波形水平軸スケール設定</source>
        <translation>FFT horizontal scale</translation>
    </message>
    <message>
        <source>FFT演算チャンネルCH1設定</source>
        <translation>FFT source CH1</translation>
    </message>
    <message>
        <source>FFT演算チャンネルCH2設定</source>
        <translation>FFT source CH2</translation>
    </message>
    <message>
        <source>FFT垂直軸スケール表示タイプリニアRMS設定</source>
        <translation>FFT vertical scale type linear RMS</translation>
    </message>
    <message>
        <source>FFT垂直軸スケール表示タイプdBV RMS設定</source>
        <translation>FFT vertical scale type dBV RMS</translation>
    </message>
    <message>
        <source>FFT窓関数方形窓設定</source>
        <translation>FFT window Rectangular</translation>
    </message>
    <message>
        <source>FFT窓関数ハミング窓設定</source>
        <translation>FFT window Hamming</translation>
    </message>
    <message>
        <source>FFT窓関数ハニング窓設定</source>
        <translation>FFT window Hanning</translation>
    </message>
    <message>
        <source>FFT窓関数ブラックマン-ハリス窓設定</source>
        <translation>FFT window Blackman-Harris</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>保存(&amp;S)...</source>
        <translation>&amp;Save...</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>目盛り(&amp;M)</source>
        <translation>&amp;Scale</translation>
    </message>
    <message>
        <source>目盛り表示</source>
        <translation>Show the scale</translation>
    </message>
    <message>
        <source>目盛り</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>グリッド(&amp;G)</source>
        <translation>&amp;Grid</translation>
    </message>
    <message>
        <source>グリッド表示</source>
        <translation>Show the grid</translation>
    </message>
    <message>
        <source>グリッド</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>カーソル</source>
        <translation>Cursor</translation>
    </message>
    <message>
        <source>ΔT/ΔVカーソル表示</source>
        <translation>Show the ΔT/ΔV cursors</translation>
    </message>
    <message>
        <source>リサージュ波形表示</source>
        <translation>Show the Lissajous (XY) plot</translation>
    </message>
    <message>
        <source>FFT波形表示</source>
        <translation>Show FFT</translation>
    </message>
    <message>
        <source>ΔTカーソル選択切替</source>
        <translation>Switch the selected ΔT cursor</translation>
    </message>
    <message>
        <source>ΔVカーソル選択切替</source>
        <translation>Switch the selected ΔV cursor</translation>
    </message>
    <message>
        <source>表示色の変更(&amp;C)...</source>
        <translation>Display &amp;Colours...</translation>
    </message>
    <message>
        <source>表示色変更</source>
        <translation>Change the display colours</translation>
    </message>
    <message>
        <source>色変更</source>
        <translation>Colours</translation>
    </message>
    <message>
        <source>ユーザーズマニュアル zep9100_man.pdf を開けません。<byte value="xd"/>
</source>
        <translation>The user&apos;s manual zep9100_man.pdf cannot be opened.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>ファイルが移動または削除されていないか確認してください。</source>
        <translation>Check that the file has not been moved or deleted.</translation>
    </message>
    <message>
        <source>PDFファイル閲覧ソフトがインストールされているか確認してください。</source>
        <translation>Check that a PDF viewer is installed.</translation>
    </message>
</context>
<context>
    <name>VersionDialog</name>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>ZEP-9100 デジタルストレージオシロスコープ用ソフトウェア</source>
        <translation>Software for the ZEP-9100 digital storage oscilloscope</translation>
    </message>
</context>
</TS>
