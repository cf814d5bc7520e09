#pragma once

#include <QByteArray>
#include <QString>

#include <modbus.h>

// A connected Modbus TCP context for `host` and `port`, with the response
// time-out (also the connect time-out) set, and its socket watching the peer:
// keep-alive while idle, and a connection failed when what is sent goes
// unacknowledged for 30 s (TCP_USER_TIMEOUT); nullptr on failure, with
// `reason` telling the operator why: a name that does not resolve, a refused
// connection, no answer. Blocks for up to the time-out: call it on the line's
// thread.
modbus_t *connectTcp(const QByteArray &host, const QByteArray &port, int timeoutSeconds, QString *reason);

// The address as the operator writes it: host:port, an IPv6 host in brackets.
QString tcpAddressText(const QByteArray &host, const QByteArray &port);
