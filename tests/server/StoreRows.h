#pragma once

#include <QDateTime>

#include "server/DataPacket.h"

// Rows shared by the dataset, filter and model tests: stores with accents, a quote in a code, nulls.
inline DataPacket storePacket() {
    DataPacket packet;
    packet.fields = {{"CDLOJA", FieldType::String, 10}, {"NMLOJA", FieldType::String, 50},
                     {"VRTOTAL", FieldType::Float, 0},  {"NRSEQ", FieldType::Integer, 0},
                     {"DTMOV", FieldType::DateTime, 0}, {"IDATIVO", FieldType::Boolean, 0}};
    const auto day = [](int d, int hour = 0) { return QDateTime(QDate(2024, 5, d), QTime(hour, 0)); };
    packet.rows = {
        {QStringLiteral("001"), QStringLiteral("Café Central"), 10.5, qlonglong(1), day(1), true},
        {QStringLiteral("002"), QStringLiteral("cafeteria do Zé"), 0.0, qlonglong(2), day(2, 8), false},
        {QStringLiteral("0'3"), QStringLiteral("Çaldo & Cia"), -3.0, qlonglong(3), QVariant(), true},
        {QStringLiteral("004"), QStringLiteral("ÇALDO NOBRE"), QVariant(), qlonglong(4), day(3), QVariant()},
        {QStringLiteral("005"), QStringLiteral("Açaí"), 100.0, qlonglong(5), day(4), false},
        {QVariant(), QStringLiteral("Sem código"), 1.0, qlonglong(6), day(5), false},
    };
    return packet;
}
