# Prints a vantrel-timeline output one item a line, for the tests to compare
# and pick apart; fails on a file that is not JSON.
#   json FILE: each trace event's ph, name, ts, dur, pid, tid, other keys (tab-separated)
#   events FILE: each trace event without times and ids, sorted
#   otlp FILE: each span's name, traceId, spanId, parentSpanId, resource, other keys,
#     per resource in order of start (the file holds them in order of end)
import json, re, sys


def row(item, keys, *extra):
    cell = lambda v: json.dumps(v)[1:-1] if isinstance(v, str) else json.dumps(v)
    rest = {k: v for k, v in item.items() if k not in keys}
    print('\t'.join([cell(item.get(k, '')) for k in keys] +
                    [json.dumps(x, sort_keys=True) for x in extra + (rest,)]))


kind, path = sys.argv[1:]
doc = json.load(open(path, encoding='utf-8'))
for event in doc.get('traceEvents', []) if kind == 'json' else []:
    row(event, ['ph', 'name', 'ts', 'dur', 'pid', 'tid'])
if kind == 'events':
    lasting = lambda e: re.sub(r'thread \d+', 'thread _', re.sub(r'"elapsed_ms": [\d.e+]+', '"elapsed_ms": _', json.dumps(
        {k: v for k, v in e.items() if k not in ('ts', 'dur', 'pid', 'tid')}, sort_keys=True)))
    print(''.join(sorted(lasting(e) + '\n' for e in doc['traceEvents'])), end='')
for resource in doc.get('resourceSpans', []) if kind == 'otlp' else []:
    spans = [s for scope in resource['scopeSpans'] for s in scope['spans']]
    for span in sorted(spans, key=lambda s: int(s['startTimeUnixNano'])):
        row(span, ['name', 'traceId', 'spanId', 'parentSpanId'], resource['resource'])
