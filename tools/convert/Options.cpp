#include "convert/Options.h"

#include "MireloIdentity.h"
#include "export/ExportFormats.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace mirelo::convert {

namespace {

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> integer(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// What the arguments said so far.
struct Parsing {
    Options options;
    std::optional<double> similarity;
    double maxSimilarSeconds = 2;
    bool haveFps = false;
    bool haveDelay = false;
};
// Checks an option's value and applies it; an error line when it is not one.
using ValueCheck = std::function<std::optional<QString>(const QString& text, Parsing& parsing)>;

// The options that take a value, by name, each with its check.
const std::map<QString, ValueCheck>& valueOptions() {
    static const std::map<QString, ValueCheck> checks = {
        {QStringLiteral("fps"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto fps = number(text);
             if (!fps || *fps <= 0 || *fps > 1000) {
                 return QCoreApplication::translate(
                            "mirelo::convert", "--fps 必须是大于 0、至多 1000 的数,得到的是“%1”")
                     .arg(text);
             }
             p.options.delay = 1.0 / *fps;
             p.haveFps = true;
             return std::nullopt;
         }},
        {QStringLiteral("delay"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto delay = number(text);
             if (!delay || *delay <= 0 || *delay > 600) {
                 return QCoreApplication::translate(
                            "mirelo::convert", "--delay 必须是大于 0、至多 600 的秒数,得到的是“%1”")
                     .arg(text);
             }
             p.options.delay = *delay;
             p.haveDelay = true;
             return std::nullopt;
         }},
        {QStringLiteral("quality"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto quality = integer(text);
             if (!quality || *quality < 1 || *quality > 100) {
                 return QCoreApplication::translate("mirelo::convert",
                                                    "--quality 必须在 1..100 之间,得到的是“%1”")
                     .arg(text);
             }
             p.options.quality = *quality;
             return std::nullopt;
         }},
        {QStringLiteral("lossy"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto strength = integer(text);
             if (!strength || *strength < 0 || *strength > 100) {
                 return QCoreApplication::translate("mirelo::convert",
                                                    "--lossy 必须在 0..100 之间,得到的是“%1”")
                     .arg(text);
             }
             p.options.gifLossy = *strength;
             return std::nullopt;
         }},
        {QStringLiteral("webp-mode"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             if (text == u"lossy") {
                 p.options.webpMode = WebPMode::lossy;
             } else if (text == u"lossless") {
                 p.options.webpMode = WebPMode::lossless;
             } else if (text == u"auto") {
                 p.options.webpMode = WebPMode::mixed;
             } else {
                 return QCoreApplication::translate(
                            "mirelo::convert",
                            "--webp-mode 必须是 lossy、lossless 或 auto,得到的是“%1”")
                     .arg(text);
             }
             return std::nullopt;
         }},
        {QStringLiteral("reduce"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto percent = integer(text);
             if (!percent || *percent < 0 || *percent > 100) {
                 return QCoreApplication::translate("mirelo::convert",
                                                    "--reduce 必须在 0..100 之间,得到的是“%1”")
                     .arg(text);
             }
             p.options.preprocess.reduceFramesPercent = *percent;
             return std::nullopt;
         }},
        {QStringLiteral("resize"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto percent = integer(text);
             if (!percent || *percent < 1 || *percent > 100) {
                 return QCoreApplication::translate("mirelo::convert",
                                                    "--resize 必须在 1..100 之间,得到的是“%1”")
                     .arg(text);
             }
             p.options.preprocess.resizePercent = *percent;
             return std::nullopt;
         }},
        {QStringLiteral("skip-similar"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto percent = number(text);
             if (!percent || *percent < 0 || *percent > 100) {
                 return QCoreApplication::translate(
                            "mirelo::convert", "--skip-similar 必须在 0..100 之间,得到的是“%1”")
                     .arg(text);
             }
             p.similarity = *percent;
             return std::nullopt;
         }},
        {QStringLiteral("max-size"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             p.options.maxSize = parseSize(text);
             if (!p.options.maxSize) {
                 return QCoreApplication::translate("mirelo::convert",
                                                    "--max-size 必须是大于 0 的字节数,或带 k 或 M "
                                                    "的数(如 10M),得到的是“%1”")
                     .arg(text);
             }
             return std::nullopt;
         }},
        {QStringLiteral("max-similar-seconds"),
         [](const QString& text, Parsing& p) -> std::optional<QString> {
             const auto seconds = number(text);
             if (!seconds || *seconds < 0) {
                 return QCoreApplication::translate(
                            "mirelo::convert",
                            "--max-similar-seconds 必须是 0 或更大的数,得到的是“%1”")
                     .arg(text);
             }
             p.maxSimilarSeconds = *seconds;
             return std::nullopt;
         }},
    };
    return checks;
}

// The option's name in an argument as written: "--fps=10" is "fps".
QString optionName(const QString& argument) {
    qsizetype start = 0;
    while (start < argument.size() && argument[start] == u'-') {
        ++start;
    }
    return argument.mid(start).section(u'=', 0, 0);
}

bool isOptionWord(const QString& argument) {
    return argument.size() > 1 && argument.startsWith(u'-') && argument != u"--";
}

// What the parser refused, as one line: an unknown option, a value missing
// after the last option, or a value given to an option that takes none.
QString refusal(const QCommandLineParser& parser, const QStringList& arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    for (const QString& argument : arguments) {
        if (argument == u"--") {
            break;
        }
        if (!isOptionWord(argument)) {
            continue;
        }
        const QString name = optionName(argument);
        if (unknown.contains(name) ||
            (valueOptions().count(name) == 0 && argument.contains(u'='))) {
            return QCoreApplication::translate("mirelo::convert", "未知选项 %1(见 --help)")
                .arg(argument);
        }
    }
    const QString last = arguments.value(arguments.size() - 1);
    if (isOptionWord(last) && valueOptions().count(optionName(last)) > 0) {
        return QCoreApplication::translate("mirelo::convert", "%1 需要一个值").arg(last);
    }
    return QCoreApplication::translate("mirelo::convert", "未知选项 %1(见 --help)").arg(last);
}

}  // namespace

QString usage() {
    return QCoreApplication::translate(
        "mirelo::convert",
        "用法: mirelo-convert [选项] 输入 输出文件\n"
        "把一个装有 PNG/JPEG 帧(按文件名排序)的文件夹,或一个 GIF、WebP 或视频文件,做成动画。\n"
        "文件自带的帧延迟会保留,除非给出 --fps 或 --delay。\n"
        "输出格式由输出文件的扩展名决定:.gif、.webp 或 .mp4。\n"
        "大小与第一帧不同的帧按比例缩放,居中放在白色背景上。\n"
        "\n"
        "选项:\n"
        "  --fps N                    每秒帧数,大于 0、至多 1000(默认 15)\n"
        "  --delay SECONDS            每帧的秒数,大于 0、至多 600,代替 --fps\n"
        "  --quality Q                1..100(默认 80)\n"
        "  --lossy N                  GIF:强度为 1..100 的有损压缩(0 = 关,默认)\n"
        "  --webp-mode MODE           lossy(默认)、lossless 或 auto(每帧取较小的一种)\n"
        "  --reduce PERCENT           去掉这个比例的帧(0..100)\n"
        "  --resize PERCENT           把每一帧缩放到这个比例(1..100)\n"
        "  --skip-similar PERCENT     与上一个保留帧的相似度不低于此值的帧并入它(0..100)\n"
        "  --max-similar-seconds N    一个保留帧最多并入多长的相似帧,0 或更大(默认 2)\n"
        "  --max-size SIZE            不超过 SIZE 字节的最好的文件(k = 1000,M = 1000000):\n"
        "                             先加强压缩、降低品质,再减少帧数,再缩小尺寸\n"
        "  --quiet                    不显示进度\n"
        "  --force                    即使 OUTPUT 是只读的也替换它\n"
        "  --version                  显示版本后退出\n"
        "  --help                     显示这段说明\n");
}

EncodeSettings Options::encodeSettings() const {
    EncodeSettings settings(quality);
    settings.webpMode = webpMode;
    settings.gifLossy = gifLossy;
    return settings;
}

QString versionLine() {
    return QStringLiteral("mirelo-convert " MIRELO_VERSION);
}

std::variant<Options, QString> parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    // "-fps" reads as "--fps", never as -f -p -s.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    for (const char* flag : {"version", "quiet", "force"}) {
        parser.addOption({QString::fromLatin1(flag), QString()});
    }
    for (const auto& [name, check] : valueOptions()) {
        parser.addOption({name, QString(), QStringLiteral("value")});
    }
    // The parser expects the program's name first.
    const bool parsed = parser.parse(QStringList{QStringLiteral("mirelo-convert")} + arguments);

    Parsing p;
    if (parser.isSet(QStringLiteral("help"))) {
        p.options.help = true;
        return p.options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        p.options.version = true;
        return p.options;
    }
    if (!parsed) {
        return refusal(parser, arguments);
    }
    p.options.quiet = parser.isSet(QStringLiteral("quiet"));
    p.options.force = parser.isSet(QStringLiteral("force"));
    // Each value in the order given; a later one of an option replaces an earlier.
    std::map<QString, qsizetype> used;
    for (const QString& name : parser.optionNames()) {
        const auto check = valueOptions().find(name);
        if (check == valueOptions().end()) {
            continue;
        }
        const QString text = parser.values(name).value(used[name]++);
        if (std::optional<QString> error = check->second(text, p)) {
            return *error;
        }
    }
    Options& options = p.options;
    if (p.haveFps && p.haveDelay) {
        return QCoreApplication::translate("mirelo::convert", "--fps 和 --delay 只能给一个");
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        return QCoreApplication::translate("mirelo::convert",
                                           "需要一个输入(帧文件夹或文件)和一个输出文件(见 --help)");
    }
    options.input = positional[0];
    options.delayGiven = p.haveFps || p.haveDelay;
    options.output = positional[1];
    const std::optional<ExportFormat> format =
        formatFromExtension(QFileInfo(options.output).suffix().toLower());
    if (!format) {
        return QCoreApplication::translate("mirelo::convert",
                                           "无法从“%1”看出输出格式:请用 .gif、.webp 或 .mp4")
            .arg(options.output);
    }
    options.format = *format;
    if (p.similarity) {
        options.preprocess.skipSimilar =
            ExportPreprocessor::SkipSimilar{(100.0 - *p.similarity) / 100.0, p.maxSimilarSeconds};
    }
    return options;
}

std::optional<qint64> parseSize(const QString& text) {
    QString digits = text;
    double unit = 1;
    if (digits.endsWith(u'k') || digits.endsWith(u'K')) {
        unit = 1e3;
        digits.chop(1);
    } else if (digits.endsWith(u'M') || digits.endsWith(u'm')) {
        unit = 1e6;
        digits.chop(1);
    }
    // Plain digits with at most one point: no signs, exponents or spaces.
    if (digits.isEmpty() || digits.count(u'.') > 1 ||
        std::any_of(digits.begin(), digits.end(),
                    [](QChar c) { return !c.isDigit() && c != u'.'; })) {
        return std::nullopt;
    }
    const std::optional<double> value = number(digits);
    if (!value || *value * unit < 1 || *value * unit > 1e15) {
        return std::nullopt;
    }
    return qint64(*value * unit);
}

}  // namespace mirelo::convert
