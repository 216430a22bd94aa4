<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Alerts</name>
    <message>
        <source>上次的录制已损坏，无法恢复</source>
        <translation>The last recording is damaged and cannot be recovered</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>FileOpener</name>
    <message>
        <source>正在打开…</source>
        <translation>Opening…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在打开… %1 / %2 帧</source>
        <translation>Opening… %1 / %2 frames</translation>
    </message>
    <message>
        <source>正在打开… %1 帧</source>
        <translation>Opening… %1 frames</translation>
    </message>
</context>
<context>
    <name>MessageBoxAlerts</name>
    <message>
        <source>只录制录制框的一部分</source>
        <translation>Only part of the frame will be recorded</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start Recording</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>开始新的录制？</source>
        <translation>Start a new recording?</translation>
    </message>
    <message>
        <source>编辑器里的录制还没有保存。新的录制开始后,它仍在自己的窗口里。</source>
        <translation>The recording in the editor has not been saved. It stays in its own window when the new recording starts.</translation>
    </message>
</context>
<context>
    <name>OpenError</name>
    <message>
        <source>文件不存在或无法读取。</source>
        <translation>The file does not exist or cannot be read.</translation>
    </message>
    <message>
        <source>文件是空的。</source>
        <translation>The file is empty.</translation>
    </message>
    <message>
        <source>这不是 Mirelo 能打开的 GIF、WebP、图片或视频文件。</source>
        <translation>This is not a GIF, WebP, picture or video file Mirelo can open.</translation>
    </message>
    <message>
        <source>文件已损坏或不完整。</source>
        <translation>The file is damaged or incomplete.</translation>
    </message>
    <message>
        <source>画面太大（%1 × %2），每边最多 %3 像素。</source>
        <translation>The picture is too large (%1 × %2); at most %3 pixels a side.</translation>
    </message>
    <message>
        <source>帧数太多，最多 %1 帧。</source>
        <translation>Too many frames; at most %1.</translation>
    </message>
    <message>
        <source>文件里没有任何帧。</source>
        <translation>The file holds no frames.</translation>
    </message>
    <message>
        <source>文件里没有视频画面。</source>
        <translation>The file has no video track.</translation>
    </message>
    <message>
        <source>无法解码这种视频格式。</source>
        <translation>This video format cannot be decoded.</translation>
    </message>
    <message>
        <source>已取消。</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>无法打开“%1”：%2</source>
        <translation>Cannot open “%1”: %2</translation>
    </message>
    <message>
        <source>动画、图片和视频 (*.gif *.webp *.png *.apng *.jpg *.jpeg *.bmp *.mp4 *.webm *.mkv *.mov *.avi);;所有文件 (*)</source>
        <translation>Animations, pictures and videos (*.gif *.webp *.png *.apng *.jpg *.jpeg *.bmp *.mp4 *.webm *.mkv *.mov *.avi);;All files (*)</translation>
    </message>
    <message>
        <source>画面太大（%1 × %2），视频的画面最多 %L3 像素。</source>
        <translation>The picture is too large (%1 × %2): a video&apos;s picture may have at most %L3 pixels.</translation>
    </message>
</context>
<context>
    <name>RecorderHeader</name>
    <message>
        <source>Wayland 下无法录制按键和点击。</source>
        <translation>Keys and clicks cannot be recorded on Wayland.</translation>
    </message>
</context>
<context>
    <name>SaveFailure</name>
    <message>
        <source>文件夹“%1”已不存在。</source>
        <translation>The folder “%1” no longer exists.</translation>
    </message>
    <message>
        <source>“%1”不是文件夹。</source>
        <translation>“%1” is not a folder.</translation>
    </message>
    <message>
        <source>没有在文件夹“%1”中写入的权限。</source>
        <translation>Permission denied: files cannot be written in the folder “%1”.</translation>
    </message>
    <message>
        <source>文件夹“%1”所在的磁盘是只读的。</source>
        <translation>The disk of the folder “%1” is read-only.</translation>
    </message>
    <message>
        <source>文件夹“%1”所在的磁盘快满了，只剩 %2。</source>
        <translation>The disk of the folder “%1” is almost full: only %2 left.</translation>
    </message>
    <message>
        <source>文件夹“%1”所在的磁盘已满。</source>
        <translation>The disk of the folder “%1” is full.</translation>
    </message>
    <message>
        <source>无法在文件夹“%1”中创建文件（系统错误 %2）。</source>
        <translation>Could not create a file in the folder “%1” (system error %2).</translation>
    </message>
    <message>
        <source>文件：%1</source>
        <translation>File: %1</translation>
    </message>
</context>
<context>
    <name>mirelo::Alerts</name>
    <message>
        <source>Mirelo 出错了</source>
        <translation>Mirelo Ran into a Problem</translation>
    </message>
    <message>
        <source>好</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>打开系统设置</source>
        <translation>Open System Settings</translation>
    </message>
    <message>
        <source>录制时不显示停止按钮</source>
        <translation>No Stop Button While Recording</translation>
    </message>
    <message>
        <source>无法开始录制</source>
        <translation>Cannot Start Recording</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start Recording</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件已保存</source>
        <translation>File Saved</translation>
    </message>
    <message>
        <source>没有可以打开它的文件管理器。文件保存在:
%1</source>
        <translation>No file manager can show it. The file was saved at:
%1</translation>
    </message>
    <message>
        <source>恢复上次的录制？</source>
        <translation>Recover the last recording?</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>Recover</translation>
    </message>
    <message>
        <source>丢弃</source>
        <translation>Discard</translation>
    </message>
</context>
<context>
    <name>mirelo::AppMenu</name>
    <message>
        <source>停止录制</source>
        <translation>Stop Recording</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause Recording</translation>
    </message>
    <message>
        <source>显示录制窗口</source>
        <translation>Show Recorder Window</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>Open Output Folder</translation>
    </message>
    <message>
        <source>登录时启动</source>
        <translation>Start at Login</translation>
    </message>
    <message>
        <source>检查更新…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message>
        <source>退出 Mirelo</source>
        <translation>Quit Mirelo</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume Recording</translation>
    </message>
    <message>
        <source>无法更改登录时启动:%1</source>
        <translation>Cannot change Start at Login: %1</translation>
    </message>
    <message>
        <source>此版本没有设置更新地址,无法检查更新。</source>
        <translation>This build has no update address, so it cannot check for updates.</translation>
    </message>
    <message>
        <source>Mirelo %1 已是最新版本。</source>
        <translation>Mirelo %1 is up to date.</translation>
    </message>
    <message>
        <source>有新版本 Mirelo %1 可用(当前版本 %2)。</source>
        <translation>Mirelo %1 is available (you have %2).</translation>
    </message>
    <message>
        <source>检查更新失败:%1</source>
        <translation>Could not check for updates: %1</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for Updates</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>好</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start Recording</translation>
    </message>
    <message>
        <source>打开…</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>全局快捷键已被其他程序占用</source>
        <translation>The global shortcuts are taken by another program</translation>
    </message>
    <message>
        <source>桌面不提供全局快捷键</source>
        <translation>The desktop offers no global shortcuts</translation>
    </message>
    <message>
        <source>倒计时</source>
        <translation>Countdown</translation>
    </message>
    <message>
        <source>关</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
</context>
<context>
    <name>mirelo::AppState</name>
    <message>
        <source>录制区域太大,录制时屏幕上没有地方放停止按钮,而 Ctrl+R 又被其他程序占用,录制将无法停止。请把录制区域缩小一些再试。</source>
        <translation>The recording area is so large that there is no room on the screen for the stop button, and Ctrl+R is taken by another program, so the recording could not be stopped. Make the area a little smaller and try again.</translation>
    </message>
    <message>
        <source>录制区域太大,录制时屏幕上没有地方放停止按钮。</source>
        <translation>The recording area is so large that there is no room on the screen for the stop button.</translation>
    </message>
    <message>
        <source>按 Ctrl+R 停止录制</source>
        <translation>Press Ctrl+R to stop the recording</translation>
    </message>
    <message>
        <source>,或在托盘菜单中选择“停止录制”。</source>
        <translation>, or choose “Stop Recording” in the tray menu.</translation>
    </message>
    <message>
        <source>。</source>
        <translation>.</translation>
    </message>
    <message>
        <source>请在托盘菜单中选择“停止录制”来停止录制。</source>
        <translation>Choose “Stop Recording” in the tray menu to stop the recording.</translation>
    </message>
    <message numerus="yes">
        <source>磁盘写入跟不上录制,有 %n 帧被丢弃;它们的时间并入了前一帧,总时长不变。</source>
        <translation>
            <numerusform>The disk could not keep up with the recording: %n frame was dropped. Its time went to the frame before, so the length is unchanged.</numerusform>
            <numerusform>The disk could not keep up with the recording: %n frames were dropped. Their time went to the frames before, so the length is unchanged.</numerusform>
        </translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>录制框跨过了显示器“%1”的边缘。只会录制它在这个显示器上的部分,其余部分录成黑色。</source>
        <translation>The recording frame reaches past the edge of monitor “%1”. Only its part on that monitor is recorded; the rest is recorded black.</translation>
    </message>
    <message numerus="yes">
        <source>%n 帧都读不出来了。录制的文件保留在 %1。</source>
        <translation>
            <numerusform>None of the %n frame can be read. The recording&apos;s files are kept in %1.</numerusform>
            <numerusform>None of the %n frames can be read. The recording&apos;s files are kept in %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>录制的文件读不出来了，保留在 %1。</source>
        <translation>The recording&apos;s files cannot be read; they are kept in %1.</translation>
    </message>
    <message numerus="yes">
        <source>Mirelo 上次没有正常退出，留下了一段 %n 帧（%1 秒）的录制。</source>
        <translation>
            <numerusform>Mirelo did not quit normally last time and left a recording of %n frame (%1 s).</numerusform>
            <numerusform>Mirelo did not quit normally last time and left a recording of %n frames (%1 s).</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>其中 %n 帧（%1 秒）已损坏，无法恢复。</source>
        <translation>
            <numerusform> %n of its frames (%1 s) is damaged and cannot be recovered.</numerusform>
            <numerusform> %n of its frames (%1 s) are damaged and cannot be recovered.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 已被其他程序占用,Mirelo 不能用它在任何地方开始、停止或暂停录制。请用录制窗口里的按钮。</source>
        <translation>%1 is taken by another program, so Mirelo cannot use it to start, stop or pause recordings from anywhere. Use the buttons in the recorder window.</translation>
    </message>
</context>
<context>
    <name>mirelo::Autostart</name>
    <message>
        <source>不是程序的绝对路径:%1</source>
        <translation>not an absolute program path: %1</translation>
    </message>
    <message>
        <source>无法创建文件夹 %1</source>
        <translation>cannot create the folder %1</translation>
    </message>
</context>
<context>
    <name>mirelo::DBusScreenCastPortal</name>
    <message>
        <source>无法连接到 D-Bus 会话总线,不能通过桌面门户录屏(Wayland 会话需要 xdg-desktop-portal)。</source>
        <translation>Cannot connect to the D-Bus session bus, so the screen cannot be recorded through the desktop portal (a Wayland session needs xdg-desktop-portal).</translation>
    </message>
    <message>
        <source>找不到桌面门户 xdg-desktop-portal,无法在 Wayland 会话中录屏。请安装 xdg-desktop-portal 和与本桌面匹配的门户后端(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。</source>
        <translation>The desktop portal xdg-desktop-portal was not found, so the screen cannot be recorded in a Wayland session. Install xdg-desktop-portal and the portal backend for your desktop (such as xdg-desktop-portal-gnome, -kde or -wlr).</translation>
    </message>
    <message>
        <source>桌面门户 xdg-desktop-portal 没有屏幕录制(ScreenCast)接口,请安装与本桌面匹配的门户后端(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。</source>
        <translation>The desktop portal xdg-desktop-portal has no screen recording (ScreenCast) interface. Install the portal backend for your desktop (such as xdg-desktop-portal-gnome, -kde or -wlr).</translation>
    </message>
    <message>
        <source>桌面门户没有响应屏幕录制请求(等待超时)。</source>
        <translation>The desktop portal did not answer the screen recording request (timed out).</translation>
    </message>
    <message>
        <source>桌面门户的屏幕录制请求失败:%1</source>
        <translation>The desktop portal&apos;s screen recording request failed: %1</translation>
    </message>
    <message>
        <source>桌面门户没有给出 PipeWire 连接。</source>
        <translation>The desktop portal gave no PipeWire connection.</translation>
    </message>
</context>
<context>
    <name>mirelo::EditorTexts</name>
    <message>
        <source>不能删除全部帧，至少要保留一帧。</source>
        <translation>Cannot delete every frame; at least one must stay.</translation>
    </message>
    <message>
        <source>这个文件不是 PNG 或 JPEG 图片。</source>
        <translation>This file is not a PNG or JPEG image.</translation>
    </message>
    <message>
        <source>这个图片文件已损坏或不完整。</source>
        <translation>This image file is damaged or incomplete.</translation>
    </message>
    <message>
        <source>这张图片太大，无法使用。</source>
        <translation>This image is too large to use.</translation>
    </message>
    <message>
        <source>无法读取这个图片文件。</source>
        <translation>Cannot read this image file.</translation>
    </message>
    <message>
        <source>缩放后的帧需要约 %1 GB 内存，超过可用内存（约 %2 GB），请选择更小的尺寸。</source>
        <translation>The resized frames need about %1 GB of memory, more than is available (about %2 GB). Choose a smaller size.</translation>
    </message>
</context>
<context>
    <name>mirelo::EditorView</name>
    <message>
        <source>示例文字</source>
        <translation>Sample text</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>裁剪</source>
        <translation>Crop</translation>
    </message>
    <message>
        <source>在预览图上拖出要保留的区域</source>
        <translation>Drag over the preview to choose the area to keep</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Resize</translation>
    </message>
    <message>
        <source>调整 GIF 的画面尺寸</source>
        <translation>Change the size of the frames</translation>
    </message>
    <message>
        <source>向左旋转 90°</source>
        <translation>Rotate 90° Left</translation>
    </message>
    <message>
        <source>向右旋转 90°</source>
        <translation>Rotate 90° Right</translation>
    </message>
    <message>
        <source>水平翻转</source>
        <translation>Flip Horizontally</translation>
    </message>
    <message>
        <source>垂直翻转</source>
        <translation>Flip Vertically</translation>
    </message>
    <message>
        <source>旋转</source>
        <translation>Rotate</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>贴纸 / 图片</source>
        <translation>Sticker / Image</translation>
    </message>
    <message>
        <source>马赛克</source>
        <translation>Mosaic</translation>
    </message>
    <message>
        <source>箭头</source>
        <translation>Arrow</translation>
    </message>
    <message>
        <source>叠加</source>
        <translation>Overlay</translation>
    </message>
    <message>
        <source>添加文字 / 贴纸 / 马赛克 / 箭头,选中后在预览图上拖动调整</source>
        <translation>Add text, a sticker, a mosaic or an arrow; select it to drag and resize it on the preview</translation>
    </message>
    <message>
        <source>应用裁剪</source>
        <translation>Apply Crop</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>删除之前</source>
        <translation>Cut Before</translation>
    </message>
    <message>
        <source>掐头:删除当前帧之前的所有帧</source>
        <translation>Trim start: delete every frame before the current one</translation>
    </message>
    <message>
        <source>删除之后</source>
        <translation>Cut After</translation>
    </message>
    <message>
        <source>去尾:删除当前帧之后的所有帧</source>
        <translation>Trim end: delete every frame after the current one</translation>
    </message>
    <message>
        <source>删除所选</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>修改所选帧的延迟,如 0.1</source>
        <translation>Set the delay of the selected frames, e.g. 0.1</translation>
    </message>
    <message>
        <source>延迟</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message numerus="yes">
        <source>尺寸 %1 × %2 · 共 %n 帧 · %3</source>
        <translation>
            <numerusform>%1 × %2 · %n frame · %3</numerusform>
            <numerusform>%1 × %2 · %n frames · %3</numerusform>
        </translation>
    </message>
    <message>
        <source>时长 %1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>第 %1 / %2 帧</source>
        <translation>Frame %1 / %2</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>倒放</source>
        <translation>Reverse</translation>
    </message>
    <message>
        <source>把所选的帧（只选一帧时是全部帧）倒过来播放</source>
        <translation>Play the selected frames (all frames when one is selected) backwards</translation>
    </message>
    <message>
        <source>往返</source>
        <translation>Back and Forth</translation>
    </message>
    <message>
        <source>在后面接上倒放的帧，来回播放</source>
        <translation>Append the frames reversed so the animation plays back and forth</translation>
    </message>
    <message>
        <source>速度…</source>
        <translation>Speed…</translation>
    </message>
    <message>
        <source>插入…</source>
        <translation>Insert…</translation>
    </message>
    <message>
        <source>在当前帧之后插入另一个文件的帧</source>
        <translation>Insert another file&apos;s frames after the current frame</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>播放速度（%），100 为原速：</source>
        <translation>Playback speed (%), 100 is the original speed:</translation>
    </message>
    <message>
        <source>按键</source>
        <translation>Keys</translation>
    </message>
    <message>
        <source>点击</source>
        <translation>Clicks</translation>
    </message>
    <message>
        <source>帧</source>
        <translation>Frames</translation>
    </message>
    <message>
        <source>倒放、往返、速度，或插入另一个文件的帧</source>
        <translation>Reverse, back and forth, speed, or insert another file&apos;s frames</translation>
    </message>
    <message>
        <source>无法识别：没有填写延迟</source>
        <translation>Not understood: no delay was typed</translation>
    </message>
    <message>
        <source>无法识别：延迟里有空格</source>
        <translation>Not understood: the delay contains a blank</translation>
    </message>
    <message>
        <source>无法识别：小数点要写成“.”，不是“,”</source>
        <translation>Not understood: write the decimal point as “.”, not “,”</translation>
    </message>
    <message>
        <source>无法识别：延迟只能是数字，如 0.1</source>
        <translation>Not understood: the delay must be a number, such as 0.1</translation>
    </message>
    <message>
        <source>高亮指针</source>
        <translation>Highlight pointer</translation>
    </message>
</context>
<context>
    <name>mirelo::EditorWindowController</name>
    <message>
        <source>选择图片</source>
        <translation>Choose Image</translation>
    </message>
    <message>
        <source>图片 (*.png *.jpg *.jpeg)</source>
        <translation>Images (*.png *.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>正在裁剪…</source>
        <translation>Cropping…</translation>
    </message>
    <message>
        <source>正在调整大小…</source>
        <translation>Resizing…</translation>
    </message>
    <message>
        <source>正在旋转…</source>
        <translation>Rotating…</translation>
    </message>
    <message>
        <source>正在翻转…</source>
        <translation>Flipping…</translation>
    </message>
    <message>
        <source>Mirelo 编辑器</source>
        <translation>Mirelo Editor</translation>
    </message>
    <message>
        <source>GIF 动画 (*.gif)</source>
        <translation>GIF animation (*.gif)</translation>
    </message>
    <message>
        <source>WebP 动画 (*.webp)</source>
        <translation>WebP animation (*.webp)</translation>
    </message>
    <message>
        <source>MPEG-4 视频 (*.mp4)</source>
        <translation>MPEG-4 video (*.mp4)</translation>
    </message>
    <message>
        <source>存储</source>
        <translation>Save</translation>
    </message>
    <message numerus="yes">
        <source>正在导出… %1 / %n 帧</source>
        <translation>
            <numerusform>Exporting… %1 of %n frame</numerusform>
            <numerusform>Exporting… %1 of %n frames</numerusform>
        </translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Could Not Save</translation>
    </message>
    <message>
        <source>正在导出…</source>
        <translation>Exporting…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message numerus="yes">
        <source>%1 %2 / %n 帧</source>
        <translation>
            <numerusform>%1 %2 of %n frame</numerusform>
            <numerusform>%1 %2 of %n frames</numerusform>
        </translation>
    </message>
    <message>
        <source>放弃这段录制？</source>
        <translation>Discard this recording?</translation>
    </message>
    <message>
        <source>这段录制还没有存储，关闭后将无法找回。</source>
        <translation>This recording has not been saved. Once closed, it cannot be recovered.</translation>
    </message>
    <message>
        <source>放弃</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>插入</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>无法插入</source>
        <translation>Cannot Insert</translation>
    </message>
    <message>
        <source>放弃所做的修改？</source>
        <translation>Discard your changes?</translation>
    </message>
    <message>
        <source>打开的文件不会改变，但所做的修改关闭后将无法找回。</source>
        <translation>The opened files stay as they are, but your changes cannot be recovered once closed.</translation>
    </message>
</context>
<context>
    <name>mirelo::ExportAccessoryView</name>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>品质</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>预计大小</source>
        <translation>Estimated size</translation>
    </message>
    <message>
        <source>缩小输出文件大小</source>
        <translation>Make the file smaller</translation>
    </message>
    <message>
        <source>减少帧数</source>
        <translation>Fewer frames</translation>
    </message>
    <message>
        <source>缩小尺寸</source>
        <translation>Smaller size</translation>
    </message>
    <message>
        <source>跳过相似帧</source>
        <translation>Skip similar frames</translation>
    </message>
    <message>
        <source>相似帧最长</source>
        <translation>Similar frames at most</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>限制大小</source>
        <translation>Size limit</translation>
    </message>
    <message>
        <source>处理后:</source>
        <translation>Processed: </translation>
    </message>
    <message>
        <source>WebP</source>
        <translation>WebP</translation>
    </message>
    <message>
        <source>有损</source>
        <translation>Lossy</translation>
    </message>
    <message>
        <source>无损</source>
        <translation>Lossless</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>按品质压缩,文件最小</source>
        <translation>Compressed to the quality setting; smallest file</translation>
    </message>
    <message>
        <source>每个像素保持原样</source>
        <translation>Every pixel kept exactly</translation>
    </message>
    <message>
        <source>每帧取有损和无损中较小的一种</source>
        <translation>Each frame lossy or lossless, whichever is smaller</translation>
    </message>
    <message>
        <source>有损压缩</source>
        <translation>Lossy compression</translation>
    </message>
    <message>
        <source>颜色略有偏差,文件更小;静止的像素保持不变</source>
        <translation>Colours slightly off for a smaller file; still pixels stay unchanged</translation>
    </message>
</context>
<context>
    <name>mirelo::GlobalShortcuts</name>
    <message>
        <source>开始或停止录制</source>
        <translation>Start or stop recording</translation>
    </message>
    <message>
        <source>暂停或继续录制</source>
        <translation>Pause or resume recording</translation>
    </message>
</context>
<context>
    <name>mirelo::ModelTexts</name>
    <message>
        <source>帧数据为空</source>
        <translation>a frame is empty</translation>
    </message>
    <message>
        <source>写入帧失败</source>
        <translation>a frame could not be written</translation>
    </message>
    <message>
        <source>无法添加视频输入</source>
        <translation>the video stream could not be set up</translation>
    </message>
    <message>
        <source>AVAssetWriter 启动失败</source>
        <translation>the encoder did not start</translation>
    </message>
    <message>
        <source>像素缓冲区创建失败</source>
        <translation>no picture buffer could be made</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>unknown error</translation>
    </message>
    <message>
        <source>无法创建文件</source>
        <translation>cannot create the file</translation>
    </message>
    <message>
        <source>无法替换目标文件</source>
        <translation>cannot replace the file</translation>
    </message>
    <message>
        <source>操作不被允许</source>
        <translation>Operation not permitted</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>文件或文件夹不存在</source>
        <translation>No such file or folder</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>No space left on the disk</translation>
    </message>
    <message>
        <source>超出磁盘配额</source>
        <translation>Disk quota exceeded</translation>
    </message>
    <message>
        <source>文件系统是只读的</source>
        <translation>Read-only file system</translation>
    </message>
    <message>
        <source>这是一个文件夹</source>
        <translation>Is a folder</translation>
    </message>
    <message>
        <source>路径中有一项不是文件夹</source>
        <translation>A part of the path is not a folder</translation>
    </message>
    <message>
        <source>文件名太长</source>
        <translation>File name too long</translation>
    </message>
    <message>
        <source>文件已存在</source>
        <translation>File exists</translation>
    </message>
    <message>
        <source>输入/输出错误</source>
        <translation>Input/output error</translation>
    </message>
    <message>
        <source>不能跨文件系统移动</source>
        <translation>Cannot move across file systems</translation>
    </message>
    <message>
        <source>打开的文件太多</source>
        <translation>Too many open files</translation>
    </message>
    <message>
        <source>文件太大</source>
        <translation>File too large</translation>
    </message>
    <message>
        <source>编码失败</source>
        <translation>Encoding failed</translation>
    </message>
    <message>
        <source>编码失败:%1</source>
        <translation>Encoding failed: %1</translation>
    </message>
    <message>
        <source>无法写入“%1”:%2</source>
        <translation>Cannot write “%1”: %2</translation>
    </message>
    <message>
        <source>没有可导出的帧。</source>
        <translation>There are no frames to export.</translation>
    </message>
    <message>
        <source>无法创建 GIF 文件。</source>
        <translation>Cannot create the GIF file.</translation>
    </message>
    <message>
        <source>GIF 写入失败。</source>
        <translation>Writing the GIF failed.</translation>
    </message>
    <message>
        <source>WebP 编码参数无效。</source>
        <translation>Invalid WebP encoding settings.</translation>
    </message>
    <message>
        <source>WebP 编码器创建失败。</source>
        <translation>Could not create the WebP encoder.</translation>
    </message>
    <message>
        <source>像素数据导入失败。</source>
        <translation>Could not read a frame&apos;s pixels.</translation>
    </message>
    <message>
        <source>第 %1 帧写入失败。</source>
        <translation>Could not write frame %1.</translation>
    </message>
    <message>
        <source>WebP 文件组装失败。</source>
        <translation>Could not assemble the WebP file.</translation>
    </message>
    <message>
        <source>文件超出大小限制:最小的设置仍有 %1(限制 %2)</source>
        <translation>The file is over the size limit: the smallest setting still makes %1 (limit %2)</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message numerus="yes">
        <source>%n 字节</source>
        <translation>
            <numerusform>%n byte</numerusform>
            <numerusform>%n bytes</numerusform>
        </translation>
    </message>
    <message>
        <source>品质 %1</source>
        <translation>quality %1</translation>
    </message>
    <message>
        <source>减帧 %1%</source>
        <translation>%1% fewer frames</translation>
    </message>
    <message>
        <source>缩放 %1%</source>
        <translation>scaled to %1%</translation>
    </message>
    <message>
        <source>计算中…</source>
        <translation>Calculating…</translation>
    </message>
    <message>
        <source>估算失败</source>
        <translation>Estimate failed</translation>
    </message>
    <message>
        <source>超出限制:最小 %1</source>
        <translation>Over the limit: at least %1</translation>
    </message>
    <message>
        <source>约 %1</source>
        <translation>about %1</translation>
    </message>
    <message numerus="yes">
        <source>%n 帧 · %1×%2</source>
        <translation>
            <numerusform>%n frame · %1×%2</numerusform>
            <numerusform>%n frames · %1×%2</numerusform>
        </translation>
    </message>
    <message>
        <source>磁盘空间不足,录制已停止。已录下的画面都保留着。</source>
        <translation>The disk is full, so the recording stopped. Everything recorded so far is kept.</translation>
    </message>
    <message>
        <source>无法写入录制缓存:%1</source>
        <translation>Cannot write the recording cache: %1</translation>
    </message>
    <message>
        <source>无法创建录制缓存文件夹 %1。</source>
        <translation>Cannot create the recording cache folder %1.</translation>
    </message>
    <message>
        <source>录制缓存已不可用。</source>
        <translation>The recording cache is no longer available.</translation>
    </message>
    <message>
        <source>无法写入录制缓存:空白画面。</source>
        <translation>Cannot write the recording cache: an empty picture.</translation>
    </message>
    <message>
        <source>无法压缩录制的画面。</source>
        <translation>Cannot compress the recorded pictures.</translation>
    </message>
    <message>
        <source>找不到框选区域所在的显示器。</source>
        <translation>No monitor lies under the recording area.</translation>
    </message>
    <message>
        <source>没有采集到任何画面帧,请重试。</source>
        <translation>No frames were captured. Please try again.</translation>
    </message>
    <message>
        <source>录制正在启动或停止,请稍候。</source>
        <translation>The recording is starting or stopping. Please wait.</translation>
    </message>
    <message>
        <source>磁盘已满：%1 所在的磁盘没有剩余空间。</source>
        <translation>Disk full: the disk of %1 has no space left.</translation>
    </message>
    <message>
        <source>没有屏幕录制权限:无法读取 X 显示器的画面。
请确认 Mirelo 连接的 X 服务器允许它读取屏幕,然后重试。</source>
        <translation>No screen recording permission: the X display cannot be read.
Make sure the X server Mirelo connects to lets it read the screen, then try again.</translation>
    </message>
    <message>
        <source>磁盘空间不足，录制没有开始，没有录下任何画面。录制缓存 %1 所在的磁盘还需要 %2 可用空间。</source>
        <translation>Not enough disk space: the recording did not start and nothing was recorded. The disk of the recording cache %1 needs %2 more free space.</translation>
    </message>
    <message>
        <source>共享的不是录制框所在的显示器“%1”,录制没有开始。请再次录制,并在屏幕共享对话框中选择显示器“%1”。</source>
        <translation>The monitor shared is not “%1”, the one the recording frame is on, so the recording did not start. Record again and choose monitor “%1” in the screen-sharing dialog.</translation>
    </message>
    <message>
        <source>无法确定屏幕共享给出的是哪个显示器的画面,为免录下错误的画面或一片黑色,录制没有开始。请把录制框放在一个显示器上,再次录制,并在屏幕共享对话框中选择显示器“%1”。</source>
        <translation>It cannot be told which monitor the screen share shows, so the recording did not start rather than record the wrong picture or black. Place the recording frame on one monitor, record again and choose monitor “%1” in the screen-sharing dialog.</translation>
    </message>
    <message>
        <source>有损 %1</source>
        <translation>lossy %1</translation>
    </message>
    <message numerus="yes">
        <source>保留 %n 帧</source>
        <translation>
            <numerusform>%n frame kept</numerusform>
            <numerusform>%n frames kept</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>mirelo::OverlayInspectorView</name>
    <message>
        <source>删除该叠加元素</source>
        <translation>Delete this overlay</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>文字内容</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>字号</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>阴影</source>
        <translation>Shadow</translation>
    </message>
    <message>
        <source>为文字添加柔和阴影,提升在复杂背景上的可读性</source>
        <translation>Add a soft shadow to the text so it reads well on busy backgrounds</translation>
    </message>
    <message>
        <source>锁定比例</source>
        <translation>Keep ratio</translation>
    </message>
    <message>
        <source>开启后,拖动右下角手柄缩放时保持原始宽高比,不会变形</source>
        <translation>Keep the original aspect ratio when resizing with the bottom-right handle</translation>
    </message>
    <message>
        <source>替换图片…</source>
        <translation>Replace Image…</translation>
    </message>
    <message>
        <source>颗粒</source>
        <translation>Block</translation>
    </message>
    <message>
        <source>粗细</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>贴纸 %1 × %2</source>
        <translation>Sticker %1 × %2</translation>
    </message>
    <message>
        <source>底色</source>
        <translation>Background colour</translation>
    </message>
    <message>
        <source>按键</source>
        <translation>Keys</translation>
    </message>
    <message>
        <source>底部</source>
        <translation>Bottom</translation>
    </message>
    <message>
        <source>顶部</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>点击标记</source>
        <translation>Click mark</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
</context>
<context>
    <name>mirelo::PipeWireStream</name>
    <message>
        <source>无法连接到 PipeWire(屏幕共享的画面服务)。</source>
        <translation>Cannot connect to PipeWire (the screen sharing service).</translation>
    </message>
    <message>
        <source>无法打开屏幕共享的 PipeWire 画面流。</source>
        <translation>Cannot open the PipeWire stream of the shared screen.</translation>
    </message>
    <message>
        <source>屏幕共享已结束:门户后端、合成器或 PipeWire 已退出。</source>
        <translation>Screen sharing ended: the portal backend, the compositor or PipeWire quit.</translation>
    </message>
    <message>
        <source>与 PipeWire 的连接已断开。</source>
        <translation>The connection to PipeWire was lost.</translation>
    </message>
    <message>
        <source>读取屏幕画面失败。</source>
        <translation>Could not read the screen.</translation>
    </message>
    <message>
        <source>屏幕共享的画面流出错:%1</source>
        <translation>The shared screen&apos;s stream failed: %1</translation>
    </message>
</context>
<context>
    <name>mirelo::PortalCaptureBackend</name>
    <message>
        <source>无法连接到 XWayland 显示服务器。</source>
        <translation>Cannot connect to the XWayland display server.</translation>
    </message>
    <message>
        <source>屏幕共享的画面流没有开始(PipeWire 的会话管理器,例如 WirePlumber,是否在运行?)。</source>
        <translation>The shared screen&apos;s stream did not start (is PipeWire&apos;s session manager, such as WirePlumber, running?).</translation>
    </message>
</context>
<context>
    <name>mirelo::RecorderHeader</name>
    <message>
        <source>%1 × %2</source>
        <translation>%1 × %2</translation>
    </message>
    <message>
        <source>录制鼠标指针</source>
        <translation>Record pointer</translation>
    </message>
    <message>
        <source>查找窗口…</source>
        <translation>Find Window…</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume Recording</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause Recording</translation>
    </message>
    <message>
        <source>启动中…</source>
        <translation>Starting…</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>全部按键</source>
        <translation>All keys</translation>
    </message>
    <message>
        <source>仅快捷键</source>
        <translation>Shortcuts only</translation>
    </message>
    <message>
        <source>%1:所选尺寸比屏幕大,已缩小到屏幕放得下的大小</source>
        <translation>%1: the chosen size is larger than the screen and was reduced to fit it</translation>
    </message>
    <message>
        <source>%1 · 已缩小</source>
        <translation>%1 · reduced</translation>
    </message>
    <message>
        <source>显示按键</source>
        <translation>Show Keys</translation>
    </message>
    <message>
        <source>录制时记下按键和鼠标点击，在编辑器中显示</source>
        <translation>Record key presses and mouse clicks and show them in the editor</translation>
    </message>
    <message>
        <source>录制窗口</source>
        <translation>Record Window</translation>
    </message>
    <message>
        <source>录制窗口时包括标题栏和边框</source>
        <translation>Include Title Bar and Borders When Recording a Window</translation>
    </message>
</context>
<context>
    <name>mirelo::RecorderWindow</name>
    <message>
        <source>点击想要录制的窗口
录制框将自动对齐到它的大小

ESC 取消</source>
        <translation>Click the window to record
The frame will fit itself to it

Esc cancels</translation>
    </message>
</context>
<context>
    <name>mirelo::ResizeSheet</name>
    <message>
        <source>调整画面尺寸</source>
        <translation>Resize Frames</translation>
    </message>
    <message>
        <source>宽</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>高</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>×</source>
        <translation>×</translation>
    </message>
    <message>
        <source>像素</source>
        <translation>pixels</translation>
    </message>
    <message>
        <source>锁定宽高比</source>
        <translation>Keep aspect ratio</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
</context>
<context>
    <name>mirelo::ScreenCastSession</name>
    <message>
        <source>没有屏幕录制权限。
屏幕共享请求被拒绝或取消了。请再次录制,并在桌面弹出的屏幕共享对话框中允许 Mirelo 共享屏幕。</source>
        <translation>No permission to record the screen.
The screen sharing request was refused or cancelled. Record again, and allow Mirelo to share the screen in the desktop&apos;s screen sharing dialog.</translation>
    </message>
    <message>
        <source>桌面门户 xdg-desktop-portal 不能共享显示器画面(ScreenCast 接口缺失或没有显示器来源),请安装与本桌面匹配的门户后端(例如 xdg-desktop-portal-gnome、-kde 或 -wlr)。</source>
        <translation>The desktop portal xdg-desktop-portal cannot share monitors (no ScreenCast interface or no monitor source). Install the portal backend for your desktop (such as xdg-desktop-portal-gnome, -kde or -wlr).</translation>
    </message>
    <message>
        <source>屏幕共享没有给出任何画面流。</source>
        <translation>Screen sharing gave no stream.</translation>
    </message>
</context>
<context>
    <name>mirelo::UpdateChecker</name>
    <message>
        <source>更新信息无法读取。</source>
        <translation>The update information cannot be read.</translation>
    </message>
</context>
<context>
    <name>mirelo::WindowPicker</name>
    <message>
        <source>Wayland 下只能对齐 X11(XWayland)窗口,原生窗口无法列出。</source>
        <translation>On Wayland only X11 (XWayland) windows can be matched; native windows cannot be listed.</translation>
    </message>
</context>
<context>
    <name>mirelo::X11CaptureBackend</name>
    <message>
        <source>无法连接到 X 显示服务器。</source>
        <translation>Cannot connect to the X display server.</translation>
    </message>
    <message>
        <source>录制的显示器已断开。</source>
        <translation>The recorded monitor was disconnected.</translation>
    </message>
    <message>
        <source>与 X 显示服务器的连接已断开。</source>
        <translation>The connection to the X display server was lost.</translation>
    </message>
    <message>
        <source>读取屏幕画面失败。</source>
        <translation>Could not read the screen.</translation>
    </message>
</context>
<context>
    <name>mirelo::X11FrameGrabber</name>
    <message>
        <source>读取屏幕画面失败。</source>
        <translation>Could not read the screen.</translation>
    </message>
    <message>
        <source>与 X 显示服务器的连接已断开。</source>
        <translation>The connection to the X display server was lost.</translation>
    </message>
    <message>
        <source>无法连接到 X 显示服务器。</source>
        <translation>Cannot connect to the X display server.</translation>
    </message>
    <message>
        <source>不支持的屏幕像素格式。</source>
        <translation>Unsupported screen pixel format.</translation>
    </message>
</context>
<context>
    <name>mirelo::X11WindowGrabber</name>
    <message>
        <source>要录制的窗口已不存在。</source>
        <translation>The window to record no longer exists.</translation>
    </message>
    <message>
        <source>X 显示服务器不支持录制单个窗口(缺少 Composite 扩展)。</source>
        <translation>The X display server cannot record a single window (the Composite extension is missing).</translation>
    </message>
    <message>
        <source>要录制的窗口没有显示在屏幕上。</source>
        <translation>The window to record is not shown on the screen.</translation>
    </message>
    <message>
        <source>不支持这个窗口的像素格式。</source>
        <translation>The pixel format of this window is not supported.</translation>
    </message>
</context>
<context>
    <name>mirelo::convert</name>
    <message>
        <source>%1 需要一个值</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>--quality 必须在 1..100 之间,得到的是“%1”</source>
        <translation>--quality must be 1..100, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--reduce 必须在 0..100 之间,得到的是“%1”</source>
        <translation>--reduce must be 0..100, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--resize 必须在 1..100 之间,得到的是“%1”</source>
        <translation>--resize must be 1..100, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--skip-similar 必须在 0..100 之间,得到的是“%1”</source>
        <translation>--skip-similar must be 0..100, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--max-size 必须是大于 0 的字节数,或带 k 或 M 的数(如 10M),得到的是“%1”</source>
        <translation>--max-size must be bytes above 0, or a number with k or M (10M), got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--max-similar-seconds 必须是 0 或更大的数,得到的是“%1”</source>
        <translation>--max-similar-seconds must be 0 or more, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>未知选项 %1(见 --help)</source>
        <translation>unknown option %1 (see --help)</translation>
    </message>
    <message>
        <source>--fps 和 --delay 只能给一个</source>
        <translation>give either --fps or --delay, not both</translation>
    </message>
    <message>
        <source>无法从“%1”看出输出格式:请用 .gif、.webp 或 .mp4</source>
        <translation>cannot tell the output format from &apos;%1&apos;: use .gif, .webp or .mp4</translation>
    </message>
    <message>
        <source>%1 中没有 PNG 或 JPEG 帧</source>
        <translation>no PNG or JPEG frames in %1</translation>
    </message>
    <message>
        <source>无法写入 %1:它所在的文件夹不存在</source>
        <translation>cannot write %1: its folder does not exist</translation>
    </message>
    <message>
        <source>无法写入 %1:这是一个文件夹</source>
        <translation>cannot write %1: it is a folder</translation>
    </message>
    <message>
        <source>编码中</source>
        <translation>encoding</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>读取帧</source>
        <translation>reading frames</translation>
    </message>
    <message>
        <source>即使最小的设置,文件也大于 --max-size %1 字节;没有写入任何文件</source>
        <translation>even the smallest setting gives a file larger than --max-size %1 bytes; nothing written</translation>
    </message>
    <message>
        <source>没有剩下可写入的帧</source>
        <translation>no frames left to write</translation>
    </message>
    <message>
        <source>无法读取图片 %1</source>
        <translation>cannot read image %1</translation>
    </message>
    <message>
        <source>已取消;没有写入任何文件</source>
        <translation>cancelled; nothing written</translation>
    </message>
    <message>
        <source>%1(%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>无法读取图片 %1:一个 PNG 数据块超出了文件末尾</source>
        <translation>cannot read image %1: a PNG chunk runs past the end of the file</translation>
    </message>
    <message>
        <source>无法读取图片 %1:%2</source>
        <translation>cannot read image %1: %2</translation>
    </message>
    <message>
        <source>无法读取 %1</source>
        <translation>cannot read %1</translation>
    </message>
    <message>
        <source>无法打开 %1:文件是空的</source>
        <translation>cannot open %1: the file is empty</translation>
    </message>
    <message>
        <source>无法打开 %1:不是 GIF、WebP、图片或视频</source>
        <translation>cannot open %1: not a GIF, WebP, picture or video</translation>
    </message>
    <message>
        <source>无法打开 %1:文件已损坏(%2)</source>
        <translation>cannot open %1: the file is damaged (%2)</translation>
    </message>
    <message>
        <source>无法打开 %1:它的帧(%2x%3)每边超过 %4 像素,或超出内存所能容纳</source>
        <translation>cannot open %1: its frames (%2x%3) are larger than %4 pixels a side or than memory allows</translation>
    </message>
    <message>
        <source>无法打开 %1:它超过 %2 帧</source>
        <translation>cannot open %1: it has more than %2 frames</translation>
    </message>
    <message>
        <source>无法打开 %1:里面没有任何帧</source>
        <translation>cannot open %1: it holds no frame</translation>
    </message>
    <message>
        <source>无法打开 %1:里面没有视频画面</source>
        <translation>cannot open %1: it has no video track</translation>
    </message>
    <message>
        <source>无法打开 %1:无法解码这种视频格式</source>
        <translation>cannot open %1: its video format cannot be decoded</translation>
    </message>
    <message>
        <source>无法打开 %1:%2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>--lossy 必须在 0..100 之间,得到的是“%1”</source>
        <translation>--lossy must be 0..100, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--webp-mode 必须是 lossy、lossless 或 auto,得到的是“%1”</source>
        <translation>--webp-mode must be lossy, lossless or auto, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>需要一个输入(帧文件夹或文件)和一个输出文件(见 --help)</source>
        <translation>expected an input (a frames folder or a file) and an output file (see --help)</translation>
    </message>
    <message>
        <source>没有这个文件或文件夹:%1</source>
        <translation>no such file or folder: %1</translation>
    </message>
    <message>
        <source>磁盘已满：%1 没有剩余空间</source>
        <translation>disk full: no space left in %1</translation>
    </message>
    <message>
        <source>不替换 %1：它是只读的（加上 --force 仍然替换）</source>
        <translation>not replacing %1: it is read-only (add --force to replace it anyway)</translation>
    </message>
    <message>
        <source>为符合 --max-size:品质 %1,有损 %2,减帧 %3%,尺寸 %4%</source>
        <translation>to fit --max-size: quality %1, lossy %2, frames dropped %3%, size %4%</translation>
    </message>
    <message>
        <source>用法: mirelo-convert [选项] 输入 输出文件
把一个装有 PNG/JPEG 帧(按文件名排序)的文件夹,或一个 GIF、WebP 或视频文件,做成动画。
文件自带的帧延迟会保留,除非给出 --fps 或 --delay。
输出格式由输出文件的扩展名决定:.gif、.webp 或 .mp4。
大小与第一帧不同的帧按比例缩放,居中放在白色背景上。

选项:
  --fps N                    每秒帧数,大于 0、至多 1000(默认 15)
  --delay SECONDS            每帧的秒数,大于 0、至多 600,代替 --fps
  --quality Q                1..100(默认 80)
  --lossy N                  GIF:强度为 1..100 的有损压缩(0 = 关,默认)
  --webp-mode MODE           lossy(默认)、lossless 或 auto(每帧取较小的一种)
  --reduce PERCENT           去掉这个比例的帧(0..100)
  --resize PERCENT           把每一帧缩放到这个比例(1..100)
  --skip-similar PERCENT     与上一个保留帧的相似度不低于此值的帧并入它(0..100)
  --max-similar-seconds N    一个保留帧最多并入多长的相似帧,0 或更大(默认 2)
  --max-size SIZE            不超过 SIZE 字节的最好的文件(k = 1000,M = 1000000):
                             先加强压缩、降低品质,再减少帧数,再缩小尺寸
  --quiet                    不显示进度
  --force                    即使 OUTPUT 是只读的也替换它
  --version                  显示版本后退出
  --help                     显示这段说明
</source>
        <translation>Usage: mirelo-convert [options] INPUT OUTPUT
Turns a folder of PNG/JPEG frames (sorted by name), or a GIF, WebP or video file,
into an animation. A file&apos;s own frame delays are kept unless --fps or --delay is given.
The output format comes from OUTPUT&apos;s extension: .gif, .webp or .mp4.
Frames of another size than the first are scaled to fit it and centred on white.

Options:
  --fps N                    frames per second, above 0 and at most 1000 (default 15)
  --delay SECONDS            seconds per frame, above 0 and at most 600, instead of --fps
  --quality Q                1..100 (default 80)
  --lossy N                  GIF: lossy compression of strength 1..100 (0 = off, the default)
  --webp-mode MODE           lossy (default), lossless, or auto (each frame whichever is smaller)
  --reduce PERCENT           drop this share of the frames (0..100)
  --resize PERCENT           scale every frame to this size (1..100)
  --skip-similar PERCENT     merge frames at least this similar to the last kept one (0..100)
  --max-similar-seconds N    longest a kept frame absorbs similar ones, 0 or more (default 2)
  --max-size SIZE            the best file of at most SIZE bytes (k = 1000, M = 1000000):
                             stronger compression and lower quality first, then fewer
                             frames, then smaller frames
  --quiet                    no progress line
  --force                    replace OUTPUT even when it is read-only
  --version                  print the version and exit
  --help                     this text
</translation>
    </message>
    <message>
        <source>--fps 必须是大于 0、至多 1000 的数,得到的是“%1”</source>
        <translation>--fps must be a number above 0 and at most 1000, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--delay 必须是大于 0、至多 600 的秒数,得到的是“%1”</source>
        <translation>--delay must be seconds above 0 and at most 600, got &apos;%1&apos;</translation>
    </message>
    <message numerus="yes">
        <source>%n 帧与第一帧大小不同,已按比例缩放并居中放入 %1×%2</source>
        <translation>
            <numerusform>%n frame of another size than the first was scaled and centred into %1×%2</numerusform>
            <numerusform>%n frames of another size than the first were scaled and centred into %1×%2</numerusform>
        </translation>
    </message>
</context>
</TS>
