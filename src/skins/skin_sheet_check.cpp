#include "skins/skin_sheet_check.h"

#include "settings/regular_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>
#include <QRegularExpression>

#include <cmath>
#include <optional>

namespace skincheck {

namespace {

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

// Index of the parenthesis that closes the one just before from, or -1.
qsizetype closingParen(const QString& text, qsizetype from) {
    int depth = 1;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == u'(')
            ++depth;
        else if (text.at(i) == u')' && --depth == 0)
            return i;
    }
    return -1;
}

QList<Declaration> parseDeclarations(const QString& body) {
    QList<Declaration> declarations;
    const auto add = [&declarations](const QString& text) {
        const qsizetype colon = text.indexOf(u':');
        if (colon <= 0)
            return;
        const QString name = text.left(colon).trimmed().toLower();
        if (!name.isEmpty())
            declarations.append({name, text.mid(colon + 1).trimmed()});
    };
    QChar quote;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (!quote.isNull()) {
            if (c == quote || c == u'\n')
                quote = QChar();
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            depth = qMax(0, depth - 1);
        } else if (c == u';' && depth == 0) {
            add(body.mid(start, i - start));
            start = i + 1;
        }
    }
    add(body.mid(start));
    return declarations;
}

// Reads rules from pos up to the end of the text or the brace that closes the block; returns
// where it stopped.
qsizetype parseBlock(const QString& text, qsizetype pos, QList<Rule>& rules) {
    const qsizetype n = text.size();
    while (pos < n) {
        const qsizetype start = pos;
        QChar quote;
        for (; pos < n; ++pos) {
            const QChar c = text.at(pos);
            if (!quote.isNull()) {
                if (c == quote || c == u'\n')
                    quote = QChar();
            } else if (isQuote(c)) {
                quote = c;
            } else if (c == u'{' || c == u';' || c == u'}') {
                break;
            }
        }
        if (pos >= n)
            return n;
        const QString prelude = text.mid(start, pos - start).trimmed();
        const QChar c = text.at(pos++);
        if (c == u'}')
            return pos;
        if (c == u';')
            continue;
        if (prelude.startsWith(u'@')) {
            pos = parseBlock(text, pos, rules);
            continue;
        }
        const qsizetype bodyStart = pos;
        quote = QChar();
        for (; pos < n; ++pos) {
            const QChar b = text.at(pos);
            if (!quote.isNull()) {
                if (b == quote || b == u'\n')
                    quote = QChar();
            } else if (isQuote(b)) {
                quote = b;
            } else if (b == u'}') {
                break;
            }
        }
        rules.append({prelude, parseDeclarations(text.mid(bodyStart, pos - bodyStart))});
        if (pos < n)
            ++pos;
    }
    return n;
}

// A number of rgb(), rgba(), hsv() or hsl(): percentages scale to full; an alpha written as a
// fraction (0.5) scales too.
int channel(const QString& text, int full, bool alpha) {
    const QString t = text.trimmed();
    if (t.endsWith(u'%'))
        return qBound(0, int(std::lround(t.chopped(1).toDouble() * full / 100.0)), full);
    const double value = t.toDouble();
    if (alpha && t.contains(u'.') && value <= 1.0)
        return qBound(0, int(std::lround(value * 255)), 255);
    return qBound(0, int(std::lround(value)), full);
}

std::optional<QColor> functionColour(const QString& name, const QString& arguments) {
    const QStringList parts = arguments.split(u',');
    if (parts.size() < 3)
        return std::nullopt;
    const bool hasAlpha = parts.size() >= 4;
    const int alpha = hasAlpha ? channel(parts.at(3), 255, true) : 255;
    if (name.startsWith(QLatin1String("rgb")))
        return QColor(channel(parts.at(0), 255, false), channel(parts.at(1), 255, false),
                      channel(parts.at(2), 255, false), alpha);
    const int hue = qBound(0, int(parts.at(0).trimmed().toDouble()), 359);
    if (name.startsWith(QLatin1String("hsv")))
        return QColor::fromHsv(hue, channel(parts.at(1), 255, false),
                               channel(parts.at(2), 255, false), alpha);
    return QColor::fromHsl(hue, channel(parts.at(1), 255, false), channel(parts.at(2), 255, false),
                           alpha);
}

double luminance(const QColor& colour) {
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// The widget classes a selector styles: the type of the last part of each of its items, "*"
// for an item that names none (an object name, a property, a bare pseudo-state).
QStringList classesOf(const QString& selector) {
    QStringList classes;
    static const QRegularExpression combinator(QStringLiteral("[\\s>+~]+"));
    static const QRegularExpression type(QStringLiteral("^\\.?([A-Za-z_][A-Za-z0-9_]*|\\*)"));
    for (const QString& item : selector.split(u',')) {
        const QStringList parts = item.trimmed().split(combinator, Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        const QRegularExpressionMatch match = type.match(parts.last());
        const QString name = match.hasMatch() ? match.captured(1) : QStringLiteral("*");
        classes.append(name == u"QWidget" ? QStringLiteral("*") : name);
    }
    return classes;
}

bool intersects(const QStringList& a, const QStringList& b) {
    for (const QString& name : a) {
        if (b.contains(name))
            return true;
    }
    return false;
}

// Whether a background set for backgroundClasses lies behind text set for textClasses: the
// same widgets, everything, or the window behind the text of labels and their kin.
bool behind(const QStringList& backgroundClasses, const QStringList& textClasses) {
    static const QStringList windows = {"QDialog", "QMessageBox", "Form", "QMainWindow"};
    static const QStringList onWindow = {"*", "QLabel", "QCheckBox", "QRadioButton", "QGroupBox"};
    return backgroundClasses.contains(u"*"_qs) || intersects(backgroundClasses, textClasses) ||
           (textClasses.contains(u"*"_qs) && !backgroundClasses.isEmpty()) ||
           (intersects(backgroundClasses, windows) && intersects(textClasses, onWindow));
}

// The platform's colour behind text of these classes, where no rule gives one.
QColor platformBackground(const QStringList& classes) {
    static const QStringList buttons = {"QPushButton", "QToolButton", "QComboBox", "QTabBar"};
    static const QStringList fields = {"QLineEdit",   "QTextEdit",  "QPlainTextEdit",
                                       "QListWidget", "QListView",  "QSpinBox",
                                       "QDateEdit",   "QTimeEdit",  "QAbstractSpinBox",
                                       "QTreeView",   "QTableView", "QCalendarWidget"};
    const QPalette palette = QGuiApplication::palette();
    if (intersects(classes, buttons))
        return palette.color(QPalette::Button);
    if (intersects(classes, fields))
        return palette.color(QPalette::Base);
    return palette.color(QPalette::Window);
}

struct Painted {
    QString selector;
    QStringList classes;
    std::optional<QColor> text;
    QList<QColor> background; // the opaque ones only
    bool hasBackground = false;
};

// Text is hidden on a background when it cannot be read on any part of it.
bool hiddenOn(const QColor& text, const QList<QColor>& background) {
    if (background.isEmpty())
        return false;
    for (const QColor& part : background) {
        if (readable(text, part))
            return false;
    }
    return true;
}

QString sameColourMessage(const QString& selector) {
    return QStringLiteral("皮肤中“%1”的文字颜色和背景颜色相同或几乎相同，文字会看不见。")
        .arg(selector);
}

QString fontSizeProblem(const Rule& rule, const Declaration& declaration) {
    // In the shorthand "font" a bare number is a weight; in "font-size" it is a size.
    const bool shorthand = declaration.name == u"font";
    static const QRegularExpression size(
        QStringLiteral("(?<![\\w.#-])(\\d+(?:\\.\\d+)?|\\.\\d+)\\s*(pt|px|em|ex|%)?(?![\\w%])"),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatchIterator it = size.globalMatch(declaration.value);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const double value = match.captured(1).toDouble();
        const QString unit = match.captured(2).toLower();
        if (unit.isEmpty() && shorthand)
            continue;
        double low = kMinPixels;
        double high = kMaxPixels;
        if (unit == u"pt") {
            low = kMinPoints;
            high = kMaxPoints;
        } else if (unit == u"em") {
            low = kMinEm;
            high = kMaxEm;
        } else if (unit == u"ex") {
            low = 2 * kMinEm;
            high = 2 * kMaxEm;
        } else if (unit == u"%") {
            low = 100 * kMinEm;
            high = 100 * kMaxEm;
        }
        if (value < low || value > high)
            return QStringLiteral("皮肤中“%1”的字号“%2”超出了能显示的范围（%3 至 %4 点，"
                                  "或 %5 至 %6 像素），文字会看不清。")
                .arg(rule.selector, declaration.value)
                .arg(kMinPoints)
                .arg(kMaxPoints)
                .arg(kMinPixels)
                .arg(kMaxPixels);
    }
    return {};
}

// Padding, margins and borders push the text out of a control that keeps its size, and a
// forced size pushes the rest of a window off the screen.
QString spaceProblem(const Rule& rule, const Declaration& declaration) {
    const QString& name = declaration.name;
    double limit = 0;
    if (name.startsWith(QLatin1String("padding")) || name.startsWith(QLatin1String("margin")) ||
        (name.startsWith(QLatin1String("border")) && !name.contains(QLatin1String("radius")) &&
         !name.contains(QLatin1String("image"))) ||
        name == u"spacing")
        limit = kMaxSpacePixels;
    else if (name == u"width" || name == u"height" || name == u"min-width" ||
             name == u"min-height" || name == u"icon-size")
        limit = kMaxSizePixels;
    else
        return {};
    static const QRegularExpression length(
        QStringLiteral("(?<![\\w.#-])(\\d+(?:\\.\\d+)?|\\.\\d+)\\s*(pt|px|em|ex)(?![\\w%])"),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatchIterator it = length.globalMatch(declaration.value);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString unit = match.captured(2).toLower();
        // At 96 dpi; an em as a large 16 px font.
        const double perUnit = unit == u"pt"   ? 96.0 / 72
                               : unit == u"em" ? 16
                               : unit == u"ex" ? 8
                                               : 1;
        if (match.captured(1).toDouble() * perUnit > limit)
            return QStringLiteral("皮肤中“%1”的“%2: %3”太大（最多 %4 像素），会把文字挤出控件"
                                  "或窗口。")
                .arg(rule.selector, name, declaration.value)
                .arg(limit);
    }
    return {};
}

} // namespace

QString withoutComments(const QString& sheet) {
    QString text;
    text.reserve(sheet.size());
    QChar quote;
    for (qsizetype i = 0; i < sheet.size(); ++i) {
        const QChar c = sheet.at(i);
        if (!quote.isNull()) {
            if (c == quote || c == u'\n')
                quote = QChar();
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == u'/' && i + 1 < sheet.size() && sheet.at(i + 1) == u'*') {
            const qsizetype end = sheet.indexOf(QLatin1String("*/"), i + 2);
            if (end >= 0) {
                // A comment separates what stands on either side of it.
                text.append(u' ');
                i = end + 1;
                continue;
            }
        }
        text.append(c);
    }
    return text;
}

QList<Rule> parseRules(const QString& sheet) {
    QList<Rule> rules;
    const QString text = withoutComments(sheet);
    qsizetype pos = 0;
    while (pos < text.size())
        pos = parseBlock(text, pos, rules);
    return rules;
}

Urls findUrls(const QString& sheet) {
    Urls urls;
    const QString text = withoutComments(sheet);
    if (text.contains(u'\\')) {
        urls.error = QStringLiteral("皮肤中有反斜杠转义，无法确定它要打开哪些文件。");
        return urls;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(QLatin1String("url"), from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        from = at + 3;
        qsizetype pos = from;
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        if (pos >= text.size() || text.at(pos) != u'(')
            continue;
        ++pos;
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        QString name;
        qsizetype end = -1;
        if (pos < text.size() && isQuote(text.at(pos))) {
            const qsizetype close = text.indexOf(text.at(pos), pos + 1);
            if (close >= 0) {
                name = text.mid(pos + 1, close - pos - 1);
                end = close + 1;
                while (end < text.size() && text.at(end).isSpace())
                    ++end;
                if (end >= text.size() || text.at(end) != u')')
                    end = -1;
            }
        } else {
            end = text.indexOf(u')', pos);
            if (end >= 0)
                name = text.mid(pos, end - pos).trimmed();
        }
        if (end < 0 || name.contains(u'"') || name.contains(u'\'') || name.contains(u'\n')) {
            urls.error = QStringLiteral("皮肤中的“url(”没有正确结束。");
            return urls;
        }
        urls.names.append(name);
        from = end + 1;
    }
    return urls;
}

Target resolve(const QString& name) {
    if (name.isEmpty() || name.startsWith(u':'))
        return {true, name};
    // A prefix of two or more letters before a colon names search-path folders, if the
    // program registered any under it; Qt takes the first folder that holds the name.
    const qsizetype colon = name.indexOf(u':');
    if (colon > 1) {
        const QStringList folders = QDir::searchPaths(name.left(colon));
        if (!folders.isEmpty()) {
            const QString rest = name.mid(colon + 1);
            QString first;
            for (const QString& folder : folders) {
                const QString candidate = QDir::cleanPath(folder + u'/' + rest);
                if (first.isEmpty())
                    first = candidate;
                if (textfile::classify(candidate) != textfile::ReadStatus::Missing)
                    return {false, candidate};
            }
            return {false, first};
        }
    }
    return {false, QDir::current().absoluteFilePath(name)};
}

QString resourceProblem(const QString& name) {
    const Target target = resolve(name);
    if (target.resource) {
        if (target.path.isEmpty() || QFile::exists(target.path))
            return {};
        return QStringLiteral("它引用的图片“%1”不存在。").arg(name);
    }
    const QString prefix = QStringLiteral("它引用的图片无法使用：");
    textfile::RegularFile file;
    textfile::ReadStatus status = file.open(target.path);
    QByteArray bytes;
    if (status == textfile::ReadStatus::Ok)
        status = file.readAll(bytes, kMaxImageBytes);
    if (status != textfile::ReadStatus::Ok)
        return prefix + textfile::statusMessage(status, target.path, file.errorString());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead())
        return prefix + QStringLiteral("“%1”不是能读懂的图片。").arg(target.path);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxImageSide || size.height() > kMaxImageSide))
        return prefix + QStringLiteral("图片“%1”有 %2 × %3 像素，太大。")
                            .arg(target.path)
                            .arg(size.width())
                            .arg(size.height());
    return {};
}

QString findResourceProblem(const QString& sheet) {
    const Urls urls = findUrls(sheet);
    if (!urls.error.isEmpty())
        return urls.error;
    for (const QString& name : urls.names) {
        const QString problem = resourceProblem(name);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

QList<QColor> colours(const QString& value) {
    QList<QColor> found;
    static const QRegularExpression token(
        QStringLiteral("(q(?:linear|radial|conical)gradient\\s*\\()|(#[0-9a-f]+)\\b|"
                       "((?:rgba?|hsla?|hsva?)\\s*\\()|((?:palette|url)\\s*\\()|([a-z]+)"),
        QRegularExpression::CaseInsensitiveOption);
    qsizetype pos = 0;
    for (;;) {
        const QRegularExpressionMatch match = token.match(value, pos);
        if (!match.hasMatch())
            break;
        pos = match.capturedEnd();
        if (match.hasCaptured(1) || match.hasCaptured(3) || match.hasCaptured(4)) {
            const qsizetype close = closingParen(value, pos);
            const qsizetype end = close < 0 ? value.size() : close;
            const QString inner = value.mid(pos, end - pos);
            if (match.hasCaptured(1)) {
                found.append(colours(inner));
            } else if (match.hasCaptured(3)) {
                const QString name = match.captured(3).toLower().remove(u' ').chopped(1);
                if (const std::optional<QColor> colour = functionColour(name, inner))
                    found.append(*colour);
            }
            pos = close < 0 ? value.size() : close + 1;
        } else if (match.hasCaptured(2)) {
            const QColor colour = QColor::fromString(match.captured(2));
            if (colour.isValid())
                found.append(colour);
        } else if (QColor::isValidColorName(match.captured(5))) {
            found.append(QColor::fromString(match.captured(5)));
        }
    }
    return found;
}

bool readable(const QColor& text, const QColor& background) {
    const int difference =
        qMax(qAbs(text.red() - background.red()),
             qMax(qAbs(text.green() - background.green()), qAbs(text.blue() - background.blue())));
    const double a = luminance(text);
    const double b = luminance(background);
    const double contrast = (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
    return difference > 40 && contrast >= 1.2;
}

QString findReadabilityProblem(const QString& sheet) {
    QList<Painted> painted;
    for (const Rule& rule : parseRules(sheet)) {
        Painted paint{rule.selector, classesOf(rule.selector), std::nullopt, {}, false};
        std::optional<QColor> selection;
        QList<QColor> selectionBackground;
        for (const Declaration& declaration : rule.declarations) {
            const QString& name = declaration.name;
            // A property set from a sheet can replace any text of a window, or bring rich
            // text whose images Qt would open unchecked.
            if (name.startsWith(QLatin1String("qproperty-")))
                return QStringLiteral("皮肤中“%1”设置了控件的属性“%2”：皮肤只能改变外观。")
                    .arg(rule.selector, name);
            if (name == u"font" || name == u"font-size") {
                const QString problem = fontSizeProblem(rule, declaration);
                if (!problem.isEmpty())
                    return problem;
            }
            const QString space = spaceProblem(rule, declaration);
            if (!space.isEmpty())
                return space;
            const bool isText = name == u"color" || name == u"selection-color";
            if (isText) {
                const QList<QColor> text = colours(declaration.value);
                if (text.isEmpty())
                    continue;
                if (text.first().alpha() < kMinTextAlpha)
                    return QStringLiteral("皮肤中“%1”的文字颜色是透明的，文字会看不见。")
                        .arg(rule.selector);
                (name == u"color" ? paint.text : selection) = text.first();
            }
            if (name == u"background" || name == u"background-color" ||
                name == u"selection-background-color") {
                QList<QColor> opaque;
                for (const QColor& colour : colours(declaration.value)) {
                    if (colour.alpha() >= kMinTextAlpha)
                        opaque.append(colour);
                }
                if (name == u"selection-background-color") {
                    selectionBackground = opaque;
                } else {
                    // "none" or a see-through colour shows what lies behind; an image or a
                    // palette colour is a background of its own, if one this check cannot read.
                    paint.background = opaque;
                    paint.hasBackground =
                        !opaque.isEmpty() ||
                        declaration.value.contains(QLatin1String("url"), Qt::CaseInsensitive) ||
                        declaration.value.contains(QLatin1String("palette"), Qt::CaseInsensitive);
                }
            }
        }
        if ((paint.text && hiddenOn(*paint.text, paint.background)) ||
            (selection && hiddenOn(*selection, selectionBackground)))
            return sameColourMessage(rule.selector);
        painted.append(paint);
    }
    // Text of a rule without a background of its own is drawn on what other rules give the
    // same widgets or the window, or else on the platform's colour. It is hidden only when it
    // cannot be read on any of them: a skin may well draw white text on a blue button it
    // styles in another rule.
    for (const Painted& text : std::as_const(painted)) {
        if (!text.text || text.hasBackground)
            continue;
        QList<QColor> backgrounds;
        QString under;
        for (const Painted& back : std::as_const(painted)) {
            if (back.hasBackground && behind(back.classes, text.classes)) {
                backgrounds.append(back.background);
                if (under.isEmpty())
                    under = back.selector;
            }
        }
        if (under.isEmpty()) {
            if (!readable(*text.text, platformBackground(text.classes)))
                return QStringLiteral("皮肤中“%1”的文字颜色和窗口本来的背景颜色相同或几乎相同，"
                                      "文字会看不见。")
                    .arg(text.selector);
        } else if (hiddenOn(*text.text, backgrounds)) {
            return QStringLiteral("皮肤中“%1”的文字颜色和“%2”的背景颜色相同或几乎相同，"
                                  "文字会看不见。")
                .arg(text.selector, under);
        }
    }
    return {};
}

} // namespace skincheck
