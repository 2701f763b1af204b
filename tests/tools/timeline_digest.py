# Prints a vantrel-timeline output one item a line, tab-separated, for the
# tests to compare and pick apart; fails on a file that is not JSON.
#   timeline_digest.py json FILE: each event's ph, name, ts, dur, pid, tid, other keys
#   timeline_digest.py otlp FILE: each span's name, traceId, spanId,
#                                 parentSpanId, resource, other keys
import json, sys


def row(item, keys, *extra):
    cell = lambda v: json.dumps(v)[1:-1] if isinstance(v, str) else json.dumps(v)
    rest = {k: v for k, v in item.items() if k not in keys}
    print('\t'.join([cell(item.get(k, '')) for k in keys] +
                    [json.dumps(x, sort_keys=True) for x in extra + (rest,)]))


kind, path = sys.argv[1:]
doc = json.load(open(path, encoding='utf-8'))
if kind == 'json':
    for event in doc['traceEvents']:
        row(event, ['ph', 'name', 'ts', 'dur', 'pid', 'tid'])
else:
    for resource in doc['resourceSpans']:
        for scope in resource['scopeSpans']:
            for span in scope['spans']:
                row(span, ['name', 'traceId', 'spanId', 'parentSpanId'], resource['resource'])
