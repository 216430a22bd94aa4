<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
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
    <message numerus="yes">
        <source>上次的录制已损坏,%n 帧都无法恢复。</source>
        <translation>
            <numerusform>The last recording is damaged: its %n frame cannot be recovered.</numerusform>
            <numerusform>The last recording is damaged: none of its %n frames can be recovered.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Mirelo 上次没有正常退出,留下了一段 %n 帧的录制。</source>
        <translation>
            <numerusform>Mirelo did not quit normally last time and left a recording of %n frame.</numerusform>
            <numerusform>Mirelo did not quit normally last time and left a recording of %n frames.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>录制有损坏,%n 帧无法恢复;其余的帧已恢复。</source>
        <translation>
            <numerusform>The recording is damaged: %n frame could not be recovered; the others were.</numerusform>
            <numerusform>The recording is damaged: %n frames could not be recovered; the others were.</numerusform>
        </translation>
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
        <source>无法识别</source>
        <translation>Not a number</translation>
    </message>
    <message>
        <source>延迟要写成一个数，如 0.1</source>
        <translation>Write the delay as a number, e.g. 0.1</translation>
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
        <source>没有屏幕录制权限。
请在 系统设置 → 隐私与安全性 → 屏幕录制 中允许 Mirelo,然后重新启动 App。</source>
        <translation>No permission to record the screen.
Allow Mirelo to record the screen in your desktop&apos;s privacy settings, then start it again.</translation>
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
    <name>mirelo::convert</name>
    <message>
        <source>用法: mirelo-convert [选项] 帧文件夹 输出文件
把一个装有 PNG/JPEG 帧(按文件名排序)的文件夹做成动画。
输出格式由输出文件的扩展名决定:.gif、.webp 或 .mp4。

选项:
  --fps N                    每秒帧数(默认 15)
  --delay SECONDS            每帧的秒数,代替 --fps
  --quality Q                1..100(默认 80)
  --reduce PERCENT           去掉这个比例的帧
  --resize PERCENT           把每一帧缩放到这个比例(1..99)
  --skip-similar PERCENT     与上一个保留帧的相似度不低于此值的帧并入它
  --max-similar-seconds N    一个保留帧最多并入多长的相似帧(默认 2)
  --max-size SIZE            不超过 SIZE 字节的最好的文件(k = 1000,M = 1000000):
                             先降低品质,再减少帧数,再缩小尺寸
  --quiet                    不显示进度
  --version                  显示版本后退出
  --help                     显示这段说明
</source>
        <translation>Usage: mirelo-convert [options] FRAMES_FOLDER OUTPUT
Turns a folder of PNG/JPEG frames (sorted by name) into an animation.
The output format comes from OUTPUT&apos;s extension: .gif, .webp or .mp4.

Options:
  --fps N                    frames per second (default 15)
  --delay SECONDS            seconds per frame, instead of --fps
  --quality Q                1..100 (default 80)
  --reduce PERCENT           drop this share of the frames
  --resize PERCENT           scale every frame to this size (1..99)
  --skip-similar PERCENT     merge frames at least this similar to the last kept one
  --max-similar-seconds N    longest a kept frame absorbs similar ones (default 2)
  --max-size SIZE            the best file of at most SIZE bytes (k = 1000, M = 1000000):
                             lower quality first, then fewer frames, then smaller frames
  --quiet                    no progress line
  --version                  print the version and exit
  --help                     this text
</translation>
    </message>
    <message>
        <source>%1 需要一个值</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>--fps 必须是大于 0 的数,得到的是“%1”</source>
        <translation>--fps must be a number above 0, got &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--delay 必须是大于 0 的秒数,得到的是“%1”</source>
        <translation>--delay must be seconds above 0, got &apos;%1&apos;</translation>
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
        <source>需要一个帧文件夹和一个输出文件(见 --help)</source>
        <translation>expected a frames folder and an output file (see --help)</translation>
    </message>
    <message>
        <source>无法从“%1”看出输出格式:请用 .gif、.webp 或 .mp4</source>
        <translation>cannot tell the output format from &apos;%1&apos;: use .gif, .webp or .mp4</translation>
    </message>
    <message>
        <source>没有这个文件夹:%1</source>
        <translation>no such folder: %1</translation>
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
        <source>为符合 --max-size:品质 %1,减帧 %2%,尺寸 %3%</source>
        <translation>to fit --max-size: quality %1, frames dropped %2%, size %3%</translation>
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
</context>
</TS>
