// Qvr.rdmExtratoSimplificado: the simplified statement's account movements.
#include "modules/AccountMovements.h"
#include "modules/Module.h"

const Module& extratoSimplificadoModule() {
    using namespace arguments;
    static const Module module{QStringLiteral("Qvr.rdmExtratoSimplificado"),
                               QStringLiteral("{C4D2A9E7-1B36-4F08-8E5D-92A7B3C6F1D4}"),
                               {{QStringLiteral("getMoviClie"),
                                 {branch(), client(), consumer(), startText(), endText()},
                                 &accountMovements,
                                 0}}};
    return module;
}
