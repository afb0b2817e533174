#include "generator/tables/score.h"

namespace keldar::generator {

int scoreFolder(const QString &folder, const QString &algorithm, const RulesChoice &rules,
                QTextStream &out, QTextStream &err)
{
    Q_UNUSED(folder);
    Q_UNUSED(algorithm);
    Q_UNUSED(rules);
    Q_UNUSED(out);
    err << "keldar-generate: --score is not built yet" << Qt::endl;
    return 2;
}

} // namespace keldar::generator
