// The HTML timeline: one page, nothing fetched. Bars are written as they
// arrive, one SVG rect per scope, in milliseconds after the origin:
//   <rect class="b v3 l2" x="12.000" y="18" width="10.127" height="15"><title>...</title></rect>
// The lane of a bar (class l<N>) is moved to its place by a style written at
// the end, when the lanes and their depths are known; the script scales the
// time axis to the window and zooms.
#include <algorithm>
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
#detail{white-space:pre;font:12px monospace;min-height:1.3em;overflow:hidden}
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
#flows path{stroke:#37474f;stroke-width:1.5px;fill:none;pointer-events:none}
#flows path.head{fill:#37474f;stroke:none}
</style></head><body>
<header><b>%TITLE%</b> &nbsp; %FACTS%<br>
<span class="legend">importance:
<span style="background:#cfd8dc">XS</span><span style="background:#90caf9">S</span><span style="background:#81c784">M</span><span style="background:#ffb74d">L</span><span style="background:#ba68c8">XL</span>
&nbsp; (zoomed in) red dashes: left by an exception; pale: never closed</span><br>
from <input id="from"> to <input id="to"> ms <button id="apply">zoom</button> <button id="reset">all</button>
&nbsp; wheel: zoom, drag: pan, hover a bar for its details
<div id="detail">&nbsp;</div>
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
  arrows(k);
}
// Cross calls: an arrow at the callee's start, from the caller's row down
// (or up) to the callee's.
function arrows(k){
  var g=document.getElementById('flows');
  while(g.firstChild)g.removeChild(g.firstChild);
  FLOWS.forEach(function(f){
    if(f[0]<a||f[0]>b)return;
    var x=LABELW+(f[0]-a)*k,d=f[2]>f[1]?-6:6;
    var line=document.createElementNS(NS,'path');
    line.setAttribute('d','M'+x+' '+f[1]+'V'+f[2]);g.appendChild(line);
    var head=document.createElementNS(NS,'path');head.setAttribute('class','head');
    head.setAttribute('d','M'+x+' '+f[2]+'l-4 '+d+'h8z');g.appendChild(head);
  });
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
// The hovered bar's details, also where a tooltip does not show.
var detail=document.getElementById('detail');
view.addEventListener('mouseover',function(e){
  if(e.target.tagName==='rect'&&e.target.firstChild)detail.textContent=e.target.firstChild.textContent.replace(/\n/g,' \u00b7 ');
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
  out += "\npid ";
  append_integer(out, scope.pid);
  out += " thread ";
  append_integer(out, scope.tid);
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
  buffer_ += std::to_string(lane_index(shown_pid(scope.host, scope.pid), scope.tid));
  if (scope.severity != ' ') (buffer_ += " s") += scope.severity;
  if (scope.exception) buffer_ += " ex";
  if (scope.unclosed || scope.open_missing || scope.ended_by_crash) buffer_ += " open";
  if (!scope.context.root.empty()) workflow_scopes_.push_back(CallScope::of(scope));
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
void HtmlOutput::message(const Record& record, std::uint32_t host, const Scope*) {
  if (!is_crash_record(record)) return;
  buffer_ += "<rect class=\"b crash l" +
             std::to_string(lane_index(shown_pid(host, record.pid), record.tid));
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
    std::string name = lane.process.empty() ? "pid" : lane.process;
    name += " (";
    append_integer(name, lane.pid);
    name += ") thread ";
    append_integer(name, lane.tid);
    int height = std::max(lane.depths, 1) * row_height;
    buffer_ += "<rect x=\"0\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(label_width - 4) + "\" height=\"" + std::to_string(height) +
               "\" fill=\"#f4f4f4\"/>";
    buffer_ += "<text x=\"4\" y=\"" + std::to_string(y + 13) + "\">";
    append_xml_text(buffer_, name);
    buffer_ += "</text>\n";
    auto found = lanes_.find({shown_pid(lane.host, lane.pid), lane.tid});
    if (found != lanes_.end()) {
      std::string index = std::to_string(found->second);
      style += ".l" + index + "{transform:translateY(" + std::to_string(y) + "px)}\n";
      lane_top_[found->second] = y;
      lane_y += index + ":" + std::to_string(y) + ",";
    }
    y += height + lane_gap;
  }
  return y;
}

// [time, caller row middle, callee row middle] per cross call, for the script.
std::string HtmlOutput::flows() const {
  std::string out = "var FLOWS=[";
  for (const CallLink& link : link_calls(workflow_scopes_)) {
    const CallScope& callee = workflow_scopes_[link.callee];
    const CallScope& caller = workflow_scopes_[link.caller];
    auto row_middle = [this](const CallScope& scope) {
      auto lane = lanes_.find({shown_pid(scope.host, scope.pid), scope.tid});
      auto top = lane == lanes_.end() ? lane_top_.end() : lane_top_.find(lane->second);
      int y = top == lane_top_.end() ? 0 : top->second;
      return std::to_string(y + scope.depth * row_height + row_height / 2);
    };
    out += '[';
    append_number(out, callee.start_ms - origin_ms_);
    out += ',' + row_middle(caller) + ',' + row_middle(callee) + "],";
  }
  return out + "];";
}

void HtmlOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  buffer_ += "</g><g id=\"labels\"></g></g>\n<g id=\"flows\"></g>\n<g id=\"names\">\n";
  std::string style = "<style>\n";
  std::string lane_y = "var LANEY={";
  int y = write_lanes(lanes, style, lane_y);
  style += "#chart{height:" + std::to_string(y) + "px}\n</style>\n";
  buffer_ += "</g>\n</svg>\n" + style;
  buffer_ += "<script>document.getElementById('facts').textContent='";
  buffer_ +=
      std::to_string(facts.scopes) + " scopes, " + std::to_string(lanes.size()) + " threads, ";
  append_number(buffer_, facts.last_ms - origin_ms_);
  buffer_ += " ms from the first record; " + std::to_string(facts.unclosed) + " never closed";
  buffer_ += "';" + lane_y + "};" + flows() + "var SPAN=";
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
