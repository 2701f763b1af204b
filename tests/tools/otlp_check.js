// Checks an OTLP/JSON file against the OpenTelemetry protobuf definitions
// (as @opentelemetry/otlp-proto-exporter-base generates them for protobufjs
// from the official .proto files), then its trace structure.
//   node otlp_check.js TOOLS_DIR FILE
// Prints "spans=N traces=N cross_process=N" and exits 0, or "invalid: ..." and 1.
'use strict';
const [toolsDir, file] = process.argv.slice(2);
const Request = require(require('path').resolve(toolsDir, 'node_modules/@opentelemetry/' +
    'otlp-proto-exporter-base/build/src/generated/root.js')).opentelemetry.proto.collector.trace.v1
    .ExportTraceServiceRequest;
const idBytes = {traceId: 16, spanId: 8, parentSpanId: 8};
const fail = (what) => { console.log('invalid: ' + what); process.exit(1); };

// OTLP/JSON writes ids in hex where protobuf's JSON mapping has base64;
// empty arrays are dropped, as protobufjs drops them on the way back.
function mapIds(value, convert) {
  if (Array.isArray(value)) return value.map((v) => mapIds(v, convert));
  if (value === null || typeof value !== 'object') return value;
  return Object.fromEntries(Object.entries(value).filter(([, v]) => !Array.isArray(v) || v.length)
      .map(([key, v]) => [key, key in idBytes ? convert(key, v) : mapIds(v, convert)]));
}

// Into the protobuf message, encoded, decoded and back: a field the
// definitions do not know, a misspelt name, an enum as a name or a number
// that is not a decimal string is lost or changed on the way.
const input = JSON.parse(require('fs').readFileSync(file, 'utf8'));
const message = Request.fromObject(mapIds(input, (key, hex) => {
  if (!new RegExp('^[0-9a-f]{' + 2 * idBytes[key] + '}$').test(hex) || /^0+$/.test(hex))
    fail(key + ' is not ' + idBytes[key] + ' bytes of lower-case hex, not all zero: ' + hex);
  return Buffer.from(hex, 'hex').toString('base64');
}));
if (Request.verify(message)) fail(Request.verify(message));
const back = Request.toObject(Request.decode(Request.encode(message).finish()),
                              {longs: String, enums: Number, bytes: String});
try {
  require('assert').deepStrictEqual(
      mapIds(back, (key, b64) => Buffer.from(b64, 'base64').toString('hex')), mapIds(input, (key, hex) => hex));
} catch (error) {
  fail('the file does not survive the protobuf round trip:\n' + error.message.slice(0, 3000));
}

// Ids unique; each parent in the file, in the same trace, around its child
// (a callee's records, cut to the millisecond on their own, may pass its
// caller's bounds by that much).
// A process may have several blocks of spans: its resource is what tells it.
const spans = back.resourceSpans.flatMap((resource) => resource.scopeSpans.flatMap((scope) =>
    scope.spans.map((s) => ({...s, resource: JSON.stringify(resource.resource), start: BigInt(s.startTimeUnixNano), end: BigInt(s.endTimeUnixNano)}))));
const byId = new Map(spans.map((s) => [s.spanId, s]));
if (byId.size !== spans.length) fail('a span id used twice');
let crossProcess = 0;
for (const s of spans) {
  const parent = byId.get(s.parentSpanId);
  if (!s.parentSpanId) continue;
  if (!parent || parent.traceId !== s.traceId) fail(s.name + ': parent not in its trace');
  const across = parent.resource !== s.resource, slack = across ? 1000000n : 0n;
  if (s.start + slack < parent.start || s.end > parent.end + slack) fail(s.name + ' is not inside ' + parent.name);
  crossProcess += across;
}
console.log('spans=' + spans.length + ' traces=' + new Set(spans.map((s) => s.traceId)).size +
            ' cross_process=' + crossProcess);
