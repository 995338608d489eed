#pragma once

#include <QtGlobal>

// What the soak watches in the connector's process, read from /proc.
struct ProcessSample
{
    qint64 seconds = 0;
    qint64 rssKiB = 0;
    qint64 descriptors = 0;
    qint64 threads = 0;
    // TCP connections on the listening port that are established or closed only by the peer.
    qint64 connections = 0;

    static ProcessSample take(qint64 processID, quint16 port, qint64 seconds);
};
