#pragma once

#include <QString>

// The values of the consultation terminal that the statement screens read: the kiosk's identity, the last
// accepted consumer and the register's parameters. The terminal fills them; the statements only read them.
// The shell keeps one set for the whole run and hands it on; the consumer's values stay until the next
// accepted consumer replaces them.
struct TerminalContext {
    // Identity, from the terminal key.
    QString branchCode;
    QString registerCode;

    // The last accepted consumer.
    QString CDCLIENTE;
    QString CDCONSUMIDOR;
    QString NMCONSUMIDOR;
    QString typedCode;  // the whole keypad buffer as typed or swiped, before any cutting

    // Register parameters, as the server sends them.
    QString DSMSGINITOT;
    QString DSMSGADITOT;
    QString NRDIAINITOT;
    QString NRDIAFINTOT;
    QString NRSEGFECTOT;
    QString IDEXIMSGSAL;
    QString IDTIPEXTTOT;
    QString CDGRUPPROD;
    QString DSFUNDOTELA;
    QString IDSELLOJTOT;
    QString DSMSGCONTOT;
    bool IDINFCLIECAI = false;  // the field holds exactly "S": badges are cut and looked up by badge

    // The consultation period, as short date texts, for the balance look-up.
    QString periodStart;
    QString periodEnd;

    // Sales parameters: where the badge number sits inside a badge's track.
    int NRPOSINICONS = 0;
    int NRPOSFINCONS = 0;
};
