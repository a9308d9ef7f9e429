#include "db/MissionEvidence.h"

std::vector<StoredMissionEvidence> MissionEvidenceForWindow(clsDatabase&, qint32, const QDateTime&, const QDateTime&)
{
    return {};
}
