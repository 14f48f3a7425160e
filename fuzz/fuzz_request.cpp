// One message read as the server reads a request (a sign-in's arguments checked as well) and
// as the client reads a reply and its result envelope.
#include <framework/core/abort.h>
#include <framework/data/checkresultserv.h>
#include "expect.h"
#include <framework/data/protocol.h>
#include <framework/data/sessioncontract.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        quint64 id = 0;
        const fw::Request request = fw::decodeRequest(message, &id);
        expect(id == request.id, "the error reply's id differs from the request's");
        // What the client writes for a request the server took, the server takes the same.
        const fw::Request again = fw::decodeRequest(fw::encodeRequest(request));
        expect(again.id == request.id && again.object == request.object && again.method == request.method
                   && again.args.size() == request.args.size(),
               "a re-encoded request reads back otherwise");
        // A sign-in (or any session call) is checked against its method as the server checks it.
        if (request.object == QLatin1String(fw::SessionObjectName)) {
            for (const fw::MethodSpec &method : fw::sessionMethods()) {
                if (method.name == request.method)
                    fw::checkArguments(method, request.args);
            }
        }
    } catch (const fw::ProtocolError &) {
    }
    try {
        const fw::Reply reply = fw::decodeReply(message);
        if (!reply.error && !reply.result.isEmpty()) {
            try {
                const fw::CborItem payload = fw::CheckResultServ(reply.result, false);
                payload.toValue();
            } catch (const fw::Abort &) {
            }
        }
    } catch (const fw::ProtocolError &) {
    }
    return 0;
}
