#include "core/journal_constants.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Listed in the order the product documents them; the order carries no meaning.
constexpr std::array<std::pair<const char16_t *, const char16_t *>, 133> tableRows {{
    {u"JPE Just Accepted", u"Journal of Political Economy"},
    {u"AER Forthcoming", u"American Economic Review"},
    {u"QJE Advance", u"Quarterly Journal of Economics"},
    {u"RES Advance", u"Review of Economic Studies"},
    {u"Econometrica Forthcoming", u"Econometrica"},
    {u"JEL Forthcoming", u"Journal of Economic Literature"},
    {u"JEP Current", u"Journal of Economic Perspectives"},
    {u"Annual Review of Economics", u"Annual Review of Economics"},
    {u"AER: Insight Forthcoming", u"American Economic Review: Insights"},
    {u"AEJ: Applied Economics Forthcoming", u"American Economic Journal: Applied Economics"},
    {u"AEJ: Economic Policy Forthcoming", u"American Economic Journal: Economic Policy"},
    {u"AEJ: Macro Forthcoming", u"American Economic Journal: Macroeconomics"},
    {u"AEJ: Micro Forthcoming", u"American Economic Journal: Microeconomics"},
    {u"JF Early View", u"Journal of Finance"},
    {u"RFS Advance", u"Review of Financial Studies"},
    {u"JFE in Progress", u"Journal of Financial Economics"},
    {u"EJ Advance", u"Economic Journal"},
    {u"JOLE Just Accepted", u"Journal of Labor Economics"},
    {u"JPE Macro Just Accepted", u"Journal of Political Economy: Macroeconomics"},
    {u"JPE Micro Just Accepted", u"Journal of Political Economy: Microeconomics"},
    {u"JHC Just Accepted", u"Journal of Human Capital"},
    {u"EDCC Just Accepted", u"Economic Development and Cultural Change"},
    {u"JEEA Advance", u"Journal of the European Economic Association"},
    {u"AJHE Just Accepted", u"American Journal of Health Economics"},
    {u"JEG Online First", u"Journal of Economic Growth"},
    {u"JEH Latest", u"Journal of Economic History"},
    {u"JHR Ahead of Print", u"Journal of Human Resources"},
    {u"JPopE Latest", u"Journal of Population Economics"},
    {u"EI Early View", u"Economic Inquiry"},
    {u"Rand Current", u"Rand Journal of Economics"},
    {u"JFQA Accepted", u"Journal of Financial and Quantitative Analysis"},
    {u"MS Advance", u"Management Science"},
    {u"EL in Press", u"Economics Letters"},
    {u"JDE in Press", u"Journal of Development Economics"},
    {u"JDE in Progress", u"Journal of Development Economics"},
    {u"JET in Press", u"Journal of Economic Theory"},
    {u"ET Online First", u"Economic Theory"},
    {u"JME in Press", u"Journal of Monetary Economics"},
    {u"JIE in Press", u"Journal of International Economics"},
    {u"JUE in Press", u"Journal of Urban Economics"},
    {u"JUE in Progress", u"Journal of Urban Economics"},
    {u"JHE in Press", u"Journal of Health Economics"},
    {u"JoE in Press", u"Journal of Econometrics"},
    {u"QE Forthcoming", u"Quantitative Economics"},
    {u"JAE Early View", u"Journal of Applied Econometrics"},
    {u"JES Early View", u"Journal of Economic Surveys"},
    {u"EER in Press", u"European Economic Review"},
    {u"JEEM in Press", u"Journal of Environmental Economics and Management"},
    {u"JEBO in Press", u"Journal of Economic Behavior & Organization"},
    {u"JCE in Press", u"Journal of Comparative Economics"},
    {u"CER in Press", u"China Economic Review"},
    {u"EEduR in Progress", u"Economics of Education Review"},
    {u"EE in Press", u"Energy Economics"},
    {u"RED in Progress", u"Review of Economic Dynamics"},
    {u"GEB in Press", u"Games and Economic Behavior"},
    {u"EJPE in Press", u"European Journal of Political Economy"},
    {u"RSUE in Progress", u"Regional Science and Urban Economics"},
    {u"WBER Advance", u"World Bank Economic Review"},
    {u"JOEG Advance", u"Journal of Economic Geography"},
    {u"JCF in Press", u"Journal of Corporate Finance"},
    {u"JPubE in Progress", u"Journal of Public Economics"},
    {u"WD in Progress", u"World Development"},
    {u"JMCB Early View", u"Journal of Money, Credit and Banking"},
    {u"IER Early View", u"International Economic Review"},
    {u"JIndE Early View", u"Journal of Industrial Economics"},
    {u"LE in Press", u"Labour Economics"},
    {u"HE Early View", u"Health Economics"},
    {u"JEDC in Progress", u"Journal of Economic Dynamics & Control"},
    {u"Economica Early View", u"Economica"},
    {u"CamJE Advance", u"Cambridge Journal of Economics"},
    {u"JBF in Press", u"Journal of Banking & Finance"},
    {u"EP in Progress", u"Energy Policy"},
    {u"Exp E Online First", u"Experimental Economics"},
    {u"AJAE Early View", u"American Journal of Agricultural Economics"},
    {u"RIE Early View", u"Review of International Economics"},
    {u"EM in Press", u"Economic Modelling"},
    {u"AJPS Early View", u"American Journal of Political Science"},
    {u"JLE Current", u"Journal of Law and Economics"},
    {u"ILR Review Online First", u"ILR Review"},
    {u"JM Online First", u"Journal of Marketing"},
    {u"JDS Latest", u"Journal of Development Studies"},
    {u"JBES Latest", u"Journal of Business & Economic Statistics"},
    {u"PNAS Economic Sciences Recent", u"PNAS Economic Sciences Research Article"},
    {u"Ecological Econ. in Progress", u"Ecological Economics"},
    {u"SCED in Press", u"Structural Change and Economic Dynamics"},
    {u"CJE Early View", u"Canadian Journal of Economics"},
    {u"EHR Early View", u"Economic History Review"},
    {u"JRU Online First", u"Journal of Risk and Uncertainty"},
    {u"EEH in Press", u"Explorations in Economic History"},
    {u"TE Current", u"Theoretical Economics"},
    {u"Econometric Theory First View", u"Econometric Theory"},
    {u"IJIO in Progress", u"International Journal of Industrial Organization"},
    {u"JEE Latest", u"Journal of Economic Education"},
    {u"JEMS Early View", u"Journal of Economics & Management Strategy"},
    {u"AE Latest", u"Applied Economics"},
    {u"RF Advance", u"Review of Finance"},
    {u"JCR Advance", u"Journal of Consumer Research"},
    {u"JFI in Progress", u"Journal of Financial Intermediation"},
    {u"JFM in Press", u"Journal of Financial Markets"},
    {u"SJE Early View", u"Scandinavian Journal of Economics"},
    {u"JSE Online First", u"Journal of Sports Economics"},
    {u"APSR First View", u"American Political Science Review"},
    {u"JP Just Accepted", u"Journal of Politics"},
    {u"JEPsy in Progress", u"Journal of Economic Psychology"},
    {u"JAERE Just Accepted",
        u"Journal of the Association of Environmental and Resource Economists"},
    {u"JASA Latest", u"Journal of the American Statistical Association"},
    {u"JHousingE in Progress", u"Journal of Housing Economics"},
    {u"WE Early View", u"World Economy"},
    {u"SCW Online First", u"Social Choice and Welfare"},
    {u"RS Latest", u"Regional Studies"},
    {u"JA&E in Press", u"Journal of Accounting and Economics"},
    {u"FP in Progress", u"Food Policy"},
    {u"JBR in Progress", u"Journal of Business Research"},
    {u"REStat Current", u"Review of Economics and Statistics"},
    {u"Biometrika Advance", u"Biometrika"},
    {u"JAgE Early View", u"Journal of Agricultural Economics"},
    {u"J Macro in Progress", u"Journal of Macroeconomics"},
    {u"JLEO Advance", u"Journal of Law, Economics, & Organization"},
    {u"OBES Early View", u"Oxford Bulletin of Economics and Statistics"},
    {u"OEP Advance", u"Oxford Economic Papers"},
    {u"SEJ Early View", u"Southern Economic Journal"},
    {u"SJPE Early View", u"Scottish Journal of Political Economy"},
    {u"JMR Online First", u"Journal of Marketing Research"},
    {u"JAR Early View", u"Journal of Accounting Research"},
    {u"TAR Current", u"The Accounting Review"},
    {u"Land Economics Ahead of Print", u"Land Economics"},
    {u"RAST Online First", u"Review of Accounting Studies"},
    {u"CAR Early View", u"Contemporary Accounting Research"},
    {u"AOS in Press", u"Accounting, Organizations and Society"},
    {u"JPR Online First", u"Journal of Peace Research"},
    {u"JInsE Latest", u"Journal of Institutional Economics"},
    {u"MKSC Advance", u"Marketing Science"},
    {u"Econ Policy Advance", u"Economic Policy"},
}};

QHash<QString, QString> buildMapping()
{
    QHash<QString, QString> table;
    table.reserve(qsizetype(tableRows.size()));
    for (const auto &[label, name] : tableRows) {
        const QString key = QString::fromUtf16(label);
        // A repeated label would silently shadow a row: refuse to run with a broken table.
        if (table.contains(key))
            qFatal("Journal table repeats the label \"%s\"", qPrintable(key));
        table.insert(key, QString::fromUtf16(name));
    }
    return table;
}

} // namespace

namespace JournalConstants {

const QHash<QString, QString> &mapping()
{
    static const QHash<QString, QString> table = buildMapping();
    return table;
}

QString fullName(const QString &label)
{
    const auto &table = mapping();
    auto it = table.constFind(label);
    if (it == table.cend()) {
        const QString form = canonical(label);
        if (form != label)
            it = table.constFind(form);
    }
    return it == table.cend() ? label : *it;
}

QString canonical(const QString &name)
{
    for (const QChar c : name)
        if (c.unicode() >= 0x80)
            return name.normalized(QString::NormalizationForm_C);
    return name;
}

const QStringList &sortedFullNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const QString &name : mapping())
            if (!list.contains(name))
                list.append(name);
        // QString's operator< compares UTF-16 code units: code-point order for these names.
        std::sort(list.begin(), list.end());
        return list;
    }();
    return names;
}

} // namespace JournalConstants
