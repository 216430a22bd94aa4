<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
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
</TS>
