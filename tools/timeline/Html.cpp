// The HTML timeline: one page, nothing fetched. Bars are written as they
// arrive, one SVG rect per scope, in milliseconds after the origin:
//   <rect class="b v3 l2" x="12.000" y="18" width="10.127" height="15"><title>...</title></rect>
// The lane of a bar (class l<N>) is moved to its place by a style written at
// the end, when the lanes and their depths are known; the script scales the
// time axis to the window and zooms.
#include <cinttypes>
#include <cstdio>

#include "tools/timeline/Outputs.h"

namespace Timeline {
namespace {

constexpr int row_height = 18;
constexpr int lane_gap = 10;
constexpr int axis_height = 28;
constexpr int label_width = 230;

const char page_head[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>%TITLE%</title>
<style>
body{font:13px sans-serif;margin:0;color:#222}
header{padding:8px 12px;background:#f4f4f4;border-bottom:1px solid #ccc}
header input{width:8em}
#chart{display:block;width:100%}
.b{stroke-width:1px;vector-effect:non-scaling-stroke}
.outline .b{stroke:rgba(0,0,0,.35)}
.b:hover{stroke:#000;stroke-width:2px}
.v0{fill:#cfd8dc;stroke:#cfd8dc}.v1{fill:#90caf9;stroke:#90caf9}.v2{fill:#81c784;stroke:#81c784}
.v3{fill:#ffb74d;stroke:#ffb74d}.v4{fill:#ba68c8;stroke:#ba68c8}.v-1{fill:#eee;stroke:#eee}
.outline .sW{stroke:#f9a825;stroke-width:2px}.outline .sE,.outline .sA{stroke:#c62828;stroke-width:2px}
.outline .ex{stroke:#c62828;stroke-dasharray:4 2;stroke-width:2px}
.open{fill-opacity:.45}
.crash{fill:#c62828;stroke:#c62828;stroke-width:3px}
.legend span{display:inline-block;padding:1px 6px;margin-right:4px;border:1px solid #999}
#names text{font:12px sans-serif}
#axis text{font:11px sans-serif;fill:#444}
#axis line{stroke:#ddd}
#labels text{font:11px sans-serif;fill:#111;pointer-events:none}
</style></head><body>
<header><b>%TITLE%</b> &nbsp; %FACTS%<br>
<span class="legend">importance:
<span style="background:#cfd8dc">XS</span><span style="background:#90caf9">S</span><span style="background:#81c784">M</span><span style="background:#ffb74d">L</span><span style="background:#ba68c8">XL</span>
&nbsp; (zoomed in) red dashes: left by an exception; pale: never closed</span><br>
from <input id="from"> to <input id="to"> ms <button id="apply">zoom</button> <button id="reset">all</button>
&nbsp; wheel: zoom, drag: pan, hover a bar for its details
</header>
<svg id="chart" xmlns="http://www.w3.org/2000/svg">
<defs><clipPath id="plot"><rect x=")HTML";
const char page_bars[] = R"HTML(" y="0" width="100000" height="10000000"/></clipPath></defs>
<g id="axis"></g>
<g clip-path="url(#plot)"><g id="view">
)HTML";

const char page_script[] = R"HTML(<script>
(function(){
var svg=document.getElementById('chart'),view=document.getElementById('view');
var axis=document.getElementById('axis'),from=document.getElementById('from'),to=document.getElementById('to');
var NS='http://www.w3.org/2000/svg',a=0,b=SPAN,labels=document.getElementById('labels');
var bars=Array.prototype.map.call(view.getElementsByTagName('rect'),function(r){
  var lane=/ l(\d+)/.exec(r.getAttribute('class'));
  return {x:+r.getAttribute('x'),w:+r.getAttribute('width'),y:+r.getAttribute('y')+(LANEY[lane?lane[1]:0]||0),
          t:r.firstChild?r.firstChild.textContent.split(' \u2014 ')[0]:''};
});
var mean=bars.reduce(function(sum,r){return sum+r.w;},0)/Math.max(bars.length,1);
function width(){return Math.max(100,svg.clientWidth-LABELW-10);}
// Outlines only once bars are wide enough to tell apart; a crowd of thin
// outlined bars would draw a black band. Until then each bar keeps a stroke
// of its own colour, so that a bar narrower than a pixel still shows.
function outline(k){svg.classList.toggle('outline',mean*k>=4);}
function names(k){
  while(labels.firstChild)labels.removeChild(labels.firstChild);
  var shown=0;
  for(var i=0;i<bars.length&&shown<3000;++i){
    var r=bars[i],x0=Math.max(r.x,a),x1=Math.min(r.x+r.w,b);
    if((x1-x0)*k<40)continue;
    var s=document.createElementNS(NS,'text');
    s.setAttribute('x',LABELW+(x0-a)*k+3);s.setAttribute('y',r.y+11);
    var room=Math.floor(((x1-x0)*k-6)/6.5);
    s.textContent=r.t.length>room?r.t.slice(0,Math.max(room-1,1))+'\u2026':r.t;
    labels.appendChild(s);++shown;
  }
}
function draw(){
  var k=width()/(b-a);
  view.setAttribute('transform','translate('+(LABELW-a*k)+',0) scale('+k+',1)');
  from.value=a.toFixed(3);to.value=b.toFixed(3);
  while(axis.firstChild)axis.removeChild(axis.firstChild);
  var step=Math.pow(10,Math.floor(Math.log10((b-a)/8)));
  if((b-a)/step>40)step*=5;else if((b-a)/step>16)step*=2;
  for(var t=Math.ceil(a/step)*step;t<=b;t+=step){
    var x=LABELW+(t-a)*k,l=document.createElementNS(NS,'line');
    l.setAttribute('x1',x);l.setAttribute('x2',x);l.setAttribute('y1',AXISH-6);l.setAttribute('y2',HEIGHT);
    axis.appendChild(l);
    var s=document.createElementNS(NS,'text');s.setAttribute('x',x+2);s.setAttribute('y',AXISH-10);
    s.textContent=(+t.toFixed(6))+' ms';axis.appendChild(s);
  }
  names(k);
  outline(k);
}
function zoom(na,nb){if(nb-na<1e-6)return;a=na;b=nb;draw();}
document.getElementById('apply').onclick=function(){zoom(+from.value,+to.value);};
document.getElementById('reset').onclick=function(){zoom(0,SPAN);};
svg.addEventListener('wheel',function(e){
  e.preventDefault();
  var r=svg.getBoundingClientRect(),t=a+(e.clientX-r.left-LABELW)*(b-a)/width();
  var f=e.deltaY>0?1.25:0.8;zoom(t-(t-a)*f,t+(b-t)*f);
},{passive:false});
var drag=null;
svg.addEventListener('mousedown',function(e){drag={x:e.clientX,a:a,b:b};});
window.addEventListener('mouseup',function(){drag=null;});
window.addEventListener('mousemove',function(e){
  if(!drag)return;var d=(e.clientX-drag.x)*(drag.b-drag.a)/width();zoom(drag.a-d,drag.b-d);
});
window.addEventListener('resize',draw);
draw();
})();
</script>
)HTML";

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The tooltip: label, duration, marks, importance and context.
void append_title(std::string& out, const Scope& scope) {
  out += "<title>";
  append_xml_text(out, scope.label);
  out += " \xE2\x80\x94 ";
  append_number(out, scope.elapsed_ms);
  out += " ms";
  if (!scope.closed_as.empty()) {
    out += "\nclosed as: ";
    append_xml_text(out, scope.closed_as);
  }
  if (scope.unclosed) out += "\nnever closed: ends at the thread's last record";
  if (scope.ended_by_crash) out += "\nended by the crash of its thread";
  if (scope.open_missing) out += "\nno opening record";
  if (scope.exception) out += "\nleft by an exception";
  out += "\nimportance: ";
  out += level_name(scope.level);
  if (scope.severity != ' ') (out += " severity: ") += scope.severity;
  const std::pair<const char*, const std::string*> fields[] = {
      {"root", &scope.context.root},
      {"caller", &scope.context.caller},
      {"callee", &scope.context.callee},
      {"user", &scope.context.user},
      {"architect", &scope.context.architect},
      {"developer", &scope.context.developer},
      {"consultant", &scope.context.consultant}};
  for (const auto& field : fields) {
    if (field.second->empty()) continue;
    ((out += '\n') += field.first) += ": ";
    append_xml_text(out, *field.second);
  }
  char where[64];
  std::snprintf(where, sizeof where, "\npid %" PRId64 " thread %" PRIu64, scope.pid, scope.tid);
  out += where;
  out += "</title>";
}

}  // namespace

HtmlOutput::HtmlOutput(std::FILE* file, double origin_ms, const std::string& title)
    : file_(file), origin_ms_(origin_ms) {
  std::string head = page_head;
  std::string escaped;
  append_xml_text(escaped, title);
  replace_all(head, "%TITLE%", escaped);
  // The facts are known only at the end; a style there fills them in.
  replace_all(head, "%FACTS%", "<span id=\"facts\"></span>");
  buffer_ = head + std::to_string(label_width) + page_bars;
}

int HtmlOutput::lane_index(std::int64_t pid, std::uint64_t tid) {
  auto found = lanes_.find({pid, tid});
  if (found != lanes_.end()) return found->second;
  int index = static_cast<int>(lanes_.size());
  lanes_.emplace(std::make_pair(pid, tid), index);
  return index;
}

void HtmlOutput::flush_if_full() {
  if (buffer_.size() < (1u << 20)) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

void HtmlOutput::scope(const Scope& scope) {
  buffer_ += "<rect class=\"b v";
  buffer_ += std::to_string(scope.level);
  buffer_ += " l";
  buffer_ += std::to_string(lane_index(scope.pid, scope.tid));
  if (scope.severity != ' ') (buffer_ += " s") += scope.severity;
  if (scope.exception) buffer_ += " ex";
  if (scope.unclosed || scope.open_missing || scope.ended_by_crash) buffer_ += " open";
  buffer_ += "\" x=\"";
  append_number(buffer_, scope.start_ms - origin_ms_);
  buffer_ += "\" y=\"" + std::to_string(scope.depth * row_height) + "\" width=\"";
  append_number(buffer_, scope.end_ms - scope.start_ms);
  buffer_ += '"';
  buffer_ += " height=\"" + std::to_string(row_height - 3) + "\">";
  append_title(buffer_, scope);
  buffer_ += "</rect>\n";
  flush_if_full();
}

// A crash record: a red mark across its thread's lane, the record's text as
// its tooltip.
void HtmlOutput::message(const Record& record) {
  if (!is_crash_record(record)) return;
  buffer_ += "<rect class=\"b crash l" + std::to_string(lane_index(record.pid, record.tid));
  buffer_ += "\" x=\"";
  append_number(buffer_, record.time_ms - origin_ms_);
  buffer_ += "\" y=\"0\" width=\"0\" height=\"" + std::to_string(row_height - 3) + "\"><title>";
  append_xml_text(buffer_, record.text);
  buffer_ += "</title></rect>\n";
}

// The lane names at the left; `style` moves each lane's bars to its place
// and `lane_y` gives the script the same offsets. Returns the chart height.
int HtmlOutput::write_lanes(const std::vector<Lane>& lanes, std::string& style,
                            std::string& lane_y) {
  int y = axis_height;
  for (const Lane& lane : lanes) {
    char name[160];
    std::snprintf(name, sizeof name, "%s (%" PRId64 ") thread %" PRIu64,
                  lane.process.empty() ? "pid" : lane.process.c_str(), lane.pid, lane.tid);
    int height = std::max(lane.depths, 1) * row_height;
    buffer_ += "<rect x=\"0\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(label_width - 4) + "\" height=\"" + std::to_string(height) +
               "\" fill=\"#f4f4f4\"/>";
    buffer_ += "<text x=\"4\" y=\"" + std::to_string(y + 13) + "\">";
    append_xml_text(buffer_, name);
    buffer_ += "</text>\n";
    auto found = lanes_.find({lane.pid, lane.tid});
    if (found != lanes_.end()) {
      std::string index = std::to_string(found->second);
      style += ".l" + index + "{transform:translateY(" + std::to_string(y) + "px)}\n";
      lane_y += index + ":" + std::to_string(y) + ",";
    }
    y += height + lane_gap;
  }
  return y;
}

void HtmlOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  buffer_ += "</g><g id=\"labels\"></g></g>\n<g id=\"names\">\n";
  std::string style = "<style>\n";
  std::string lane_y = "var LANEY={";
  int y = write_lanes(lanes, style, lane_y);
  style += "#chart{height:" + std::to_string(y) + "px}\n</style>\n";
  buffer_ += "</g>\n</svg>\n" + style;
  char facts_text[200];
  std::snprintf(facts_text, sizeof facts_text,
                "%zu scopes, %zu threads, %.3f ms from the first record; %zu never closed",
                facts.scopes, lanes.size(), facts.last_ms - origin_ms_, facts.unclosed);
  buffer_ += "<script>document.getElementById('facts').textContent='";
  buffer_ += facts_text;
  buffer_ += "';" + lane_y + "};var SPAN=";
  // A little room after the last bar.
  append_number(buffer_, std::max((facts.last_ms - origin_ms_) * 1.02, 1.0));
  buffer_ += ",LABELW=" + std::to_string(label_width) + ",AXISH=" + std::to_string(axis_height) +
             ",HEIGHT=" + std::to_string(y) + ";</script>\n";
  buffer_ += page_script;
  buffer_ += "</body></html>\n";
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

}  // namespace Timeline
