// Checks an OTLP/JSON file against the OpenTelemetry protobuf definitions
// (the protobufjs module that @opentelemetry/otlp-proto-exporter-base
// generates from the official .proto files), then checks its trace
// structure.
//   node otlp_check.js TOOLS_DIR FILE
// TOOLS_DIR holds node_modules with the package. Prints one line of counts,
// "spans=N traces=N cross_process=N", and exits 0, or prints what is wrong
// and exits 1.
'use strict';
const fs = require('fs');
const path = require('path');
const assert = require('assert');

const [toolsDir, file] = process.argv.slice(2);
const generated = path.resolve(toolsDir, 'node_modules', '@opentelemetry',
                            'otlp-proto-exporter-base', 'build', 'src', 'generated', 'root.js');
const root = require(generated);
const Request = root.opentelemetry.proto.collector.trace.v1.ExportTraceServiceRequest;
const idKeys = {traceId: 16, spanId: 8, parentSpanId: 8};

function fail(what) {
  console.log('invalid: ' + what);
  process.exit(1);
}

// OTLP/JSON writes ids in hex where protobuf's JSON mapping has base64:
// hex in, base64 for protobufjs; empty arrays dropped, as protobufjs drops
// them on the way back.
function mapIds(value, convert) {
  if (Array.isArray(value)) return value.map((v) => mapIds(v, convert));
  if (value === null || typeof value !== 'object') return value;
  const out = {};
  for (const [key, v] of Object.entries(value)) {
    if (Array.isArray(v) && v.length === 0) continue;
    out[key] = key in idKeys ? convert(key, v) : mapIds(v, convert);
  }
  return out;
}

const input = JSON.parse(fs.readFileSync(file, 'utf8'));
const forProtobuf = mapIds(input, (key, hex) => {
  if (typeof hex !== 'string' || !new RegExp('^[0-9a-f]{' + 2 * idKeys[key] + '}$').test(hex))
    fail(key + ' is not ' + idKeys[key] + ' bytes of lower-case hex: ' + JSON.stringify(hex));
  if (/^0+$/.test(hex)) fail(key + ' is all zero');
  return Buffer.from(hex, 'hex').toString('base64');
});

// Into the protobuf message, encoded, decoded, and back: a field the
// definitions do not know, a misspelt name, an enum as a name or a number
// that is not a decimal string is lost or changed on the way.
const message = Request.fromObject(forProtobuf);
const invalid = Request.verify(message);
if (invalid) fail(invalid);
const decoded = Request.decode(Request.encode(message).finish());
const back = Request.toObject(decoded, {longs: String, enums: Number, bytes: String});
const backHex = mapIds(back, (key, b64) => Buffer.from(b64, 'base64').toString('hex'));
try {
  assert.deepStrictEqual(backHex, mapIds(input, (key, hex) => hex));
} catch (error) {
  fail('the file does not survive the protobuf round trip:\n' + error.message.slice(0, 3000));
}

// The trace structure.
const spans = [];
decoded.resourceSpans.forEach((resource, r) => resource.scopeSpans.forEach((scope) =>
  scope.spans.forEach((s) => spans.push({
    resource: r,
    trace: Buffer.from(s.traceId).toString('hex'),
    id: Buffer.from(s.spanId).toString('hex'),
    parent: s.parentSpanId && s.parentSpanId.length ? Buffer.from(s.parentSpanId).toString('hex') : '',
    start: BigInt(s.startTimeUnixNano.toString()),
    end: BigInt(s.endTimeUnixNano.toString()),
    name: s.name,
  }))));
const byId = new Map();
for (const s of spans) {
  if (byId.has(s.id)) fail('span id ' + s.id + ' used twice');
  if (s.end < s.start) fail('span ' + s.name + ' ends before it starts');
  byId.set(s.id, s);
}
let crossProcess = 0;
for (const s of spans) {
  if (!s.parent) continue;
  const parent = byId.get(s.parent);
  if (!parent) fail('span ' + s.name + ': parent ' + s.parent + ' is not in the file');
  if (parent.trace !== s.trace) fail('span ' + s.name + ': parent in another trace');
  if (s.start < parent.start || s.end > parent.end)
    fail('span ' + s.name + ' is not inside its parent ' + parent.name);
  if (parent.resource !== s.resource) ++crossProcess;
}
const traces = new Set(spans.map((s) => s.trace)).size;
console.log('spans=' + spans.length + ' traces=' + traces + ' cross_process=' + crossProcess);
