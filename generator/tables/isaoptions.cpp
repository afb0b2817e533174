#include "generator/tables/isaoptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

namespace keldar::generator {

QByteArray optionsJson(const QList<Algorithm> &algorithms, QString &note)
{
    QJsonArray gaps;
    double limit = 0;
    for (const Algorithm &a : algorithms)
        if (!a.exact)
            gaps.append(QString::fromLatin1(a.column));
        else if (limit == 0 || a.limit < limit)
            limit = a.limit;
    QJsonObject selvars{{"smallscaleflag", false}, {"smallscale", 0.5},    {"fileidxflag", false},
                        {"fileidx", ""},           {"densityflag", false}, {"mindistance", 0.1},
                        {"type", "Ftr&Good"}};
    const bool mixed = limit > 0 && !gaps.isEmpty();
    if (mixed) {
        selvars.insert("algos", gaps);
        QStringList exact;
        for (const Algorithm &a : algorithms)
            if (a.exact)
                exact << QString::fromLatin1(a.column);
        note = QStringLiteral("options.json compares the scored algorithms' gaps "
                              "(selvars.algos); the seconds of %1 are another measure, to "
                              "analyse apart")
                   .arg(exact.join(QStringLiteral(", ")));
    }
    const QJsonObject options{
        {"parallel", QJsonObject{{"flag", false}, {"ncores", 2}}},
        {"perf", QJsonObject{{"MaxPerf", false},
                             {"AbsPerf", true},
                             {"epsilon", gaps.isEmpty() ? limit : GoodGap},
                             {"betaThreshold", 0.55}}},
        {"auto", QJsonObject{{"preproc", true}}},
        {"bound", QJsonObject{{"flag", true}}},
        {"norm", QJsonObject{{"flag", true}}},
        {"selvars", selvars},
        {"sifted", QJsonObject{{"flag", true},
                               {"rho", 0.1},
                               {"K", 10},
                               {"NTREES", 50},
                               {"MaxIter", 1000},
                               {"Replicates", 100}}},
        {"pilot", QJsonObject{{"analytic", false}, {"ntries", 5}}},
        {"cloister", QJsonObject{{"pval", 0.05}, {"cthres", 0.7}}},
        {"pythia",
         QJsonObject{
             {"cvfolds", 5}, {"ispolykrnl", false}, {"useweights", false}, {"uselibsvm", false}}},
        {"trace", QJsonObject{{"usesim", true}, {"PI", 0.55}}},
        {"outputs", QJsonObject{{"csv", true}, {"web", false}, {"png", true}}}};
    return QJsonDocument(options).toJson(QJsonDocument::Indented);
}

} // namespace keldar::generator
