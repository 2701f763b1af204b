// The HTML timeline: one page, nothing fetched. Bars are written as they
// arrive, one line of markup per scope, in milliseconds after the origin:
//   <rect class="b v3 l2" x="12.000" y="18" width="10.127" height="15"><title>...</title></rect>
// inside a script block the browser keeps as text: a hundred thousand live
// SVG elements took the browser seconds to build and draw, while the page's
// script reads the text in a fraction of that. The script places each bar
// on its lane (class l<N>, offsets written at the end, when the lanes and
// their depths are known) and paints only what the visible time range
// shows on a canvas, bars narrower than a pixel merged into one pixel.
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
#plotarea{position:relative}
#plot{position:absolute;left:%LABELW%px;top:0}
#chart{display:block;width:100%;position:relative}
.legend span{display:inline-block;padding:1px 6px;margin-right:4px;border:1px solid #999}
#names text{font:12px sans-serif}
#axis text{font:11px sans-serif;fill:#444}
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
<script type="text/plain" id="bars">
)HTML";

const char page_script[] = R"HTML(<script>
(function(){
var svg=document.getElementById('chart'),canvas=document.getElementById('plot'),ctx=canvas.getContext('2d');
var axis=document.getElementById('axis'),from=document.getElementById('from'),to=document.getElementById('to');
var detail=document.getElementById('detail'),NS='http://www.w3.org/2000/svg',a=0,b=SPAN,BARH=ROWH-3;
var tip=svg.insertBefore(document.createElementNS(NS,'title'),svg.firstChild);
var FILL=['#cfd8dc','#90caf9','#81c784','#ffb74d','#ba68c8'];
// The bars from their markup, which the tool writes in one fixed form:
// scanned with indexOf, the marks of each distinct class parsed once, the
// title read only when its bar is hovered (`t`: where it starts).
var markup=document.getElementById('bars').textContent,kinds={},byRow={},crashes=[],total=0;
function kind(c){
  var k={v:-1,lane:0,s:'',ex:false,open:false,crash:false},f=c.split(' ');
  for(var i=0;i<f.length;++i){
    var h=f[i].charAt(0);
    if(f[i]==='crash')k.crash=true;else if(f[i]==='ex')k.ex=true;else if(f[i]==='open')k.open=true;
    else if(h==='v')k.v=+f[i].slice(1);else if(h==='l')k.lane=LANEY[f[i].slice(1)]||0;else if(h==='s')k.s=f[i].charAt(1);
  }
  return k;
}
var HEAD='<rect class="';  // followed by "b " and the bar's marks
for(var p=markup.indexOf(HEAD);p>=0;p=markup.indexOf(HEAD,p+1)){
  var cs=p+HEAD.length+2,ce=markup.indexOf('"',cs),cls=markup.slice(cs,ce);
  var xs=ce+5,xe=markup.indexOf('"',xs),ys=xe+5,ye=markup.indexOf('"',ys),ws=ye+9,we=markup.indexOf('"',ws);
  var k=kinds[cls]||(kinds[cls]=kind(cls));
  var bar={x:+markup.slice(xs,xe),w:+markup.slice(ws,we),y:+markup.slice(ys,ye)+k.lane,k:k,
           t:markup.indexOf('<title>',we)+7};
  total+=bar.w;
  if(k.crash)crashes.push(bar);else(byRow[bar.y]||(byRow[bar.y]=[])).push(bar);
}
// Sorted by row, then by start (bars arrive in order of their ends, which
// for one row is the order of their starts: they never overlap); a row's
// ends are then sorted too.
var bars=[],rows=[];
Object.keys(byRow).map(Number).sort(function(p,q){return p-q;}).forEach(function(y){
  var row=byRow[y],sorted=true;
  for(var i=1;i<row.length&&sorted;++i)sorted=row[i-1].x<=row[i].x;
  if(!sorted)row.sort(function(p,q){return p.x-q.x;});
  rows.push({y:y,from:bars.length,to:bars.length+row.length});
  for(var i=0;i<row.length;++i)bars.push(row[i]);
});
byRow=null;
function title(bar){return decode(markup.slice(bar.t,markup.indexOf('</title>',bar.t)));}
var mean=total/Math.max(bars.length,1);
function width(){return Math.max(100,svg.clientWidth-LABELW-10);}
// The first bar of `row` that ends at or after time t.
function first(row,t){
  var lo=row.from,hi=row.to;
  while(lo<hi){var mid=(lo+hi)>>1;if(bars[mid].x+bars[mid].w<t)lo=mid+1;else hi=mid;}
  return lo;
}
function fill(bar){return bar.k.v>=0&&bar.k.v<FILL.length?FILL[bar.k.v]:'#eee';}
// Outlines only once bars are wide enough to tell apart; a crowd of thin
// outlined bars would draw a black band.
function outline(bar,x,w){
  var k=bar.k,red=k.s==='E'||k.s==='A'||k.ex;
  ctx.strokeStyle=red?'#c62828':k.s==='W'?'#f9a825':'rgba(0,0,0,.35)';
  ctx.lineWidth=red||k.s==='W'?2:1;
  ctx.setLineDash(k.ex?[4,2]:[]);
  ctx.strokeRect(x+.5,bar.y+.5,Math.max(w-1,1),BARH-1);
}
function label(bar,x,w){
  var room=Math.floor((w-6)/6.5),t=title(bar).split(' \u2014 ')[0];
  ctx.fillStyle='#111';
  ctx.fillText(t.length>room?t.slice(0,Math.max(room-1,1))+'\u2026':t,x+3,bar.y+11);
}
// One row: a bar narrower than a pixel is drawn as a pixel only when the
// pixel is not covered yet, so that a row costs at most its width in pixels.
function paintRow(row,k,w,marks){
  var covered=-1;
  for(var i=first(row,a);i<row.to&&bars[i].x<=b;++i){
    var bar=bars[i],x=(bar.x-a)*k,bw=bar.w*k;
    if(bw<1){if(x<covered)continue;x=Math.floor(x);bw=1;}
    if(x+bw<0||x>w)continue;
    covered=x+bw;
    ctx.globalAlpha=bar.k.open?.45:1;ctx.fillStyle=fill(bar);
    ctx.fillRect(x,bar.y,bw,BARH);
    if(bw>=2&&mean*k>=4)marks.outlines.push(bar,x,bw);
    if(bw>=40&&marks.labels.length<9000)marks.labels.push(bar,Math.max(x,0),Math.min(x+bw,w)-Math.max(x,0));
  }
}
function paint(k,w,ticks){
  var ratio=window.devicePixelRatio||1;
  if(canvas.width!==Math.round(w*ratio)||canvas.height!==Math.round(HEIGHT*ratio)){
    canvas.width=Math.round(w*ratio);canvas.height=Math.round(HEIGHT*ratio);
    canvas.style.width=w+'px';canvas.style.height=HEIGHT+'px';
  }
  ctx.setTransform(ratio,0,0,ratio,0,0);ctx.clearRect(0,0,w,HEIGHT);
  ctx.globalAlpha=1;ctx.fillStyle='#ddd';
  ticks.forEach(function(x){ctx.fillRect(Math.round(x),AXISH-6,1,HEIGHT-AXISH+6);});
  var marks={outlines:[],labels:[]};
  for(var r=0;r<rows.length;++r)paintRow(rows[r],k,w,marks);
  ctx.globalAlpha=1;
  for(var i=0;i<marks.outlines.length;i+=3)outline(marks.outlines[i],marks.outlines[i+1],marks.outlines[i+2]);
  ctx.setLineDash([]);ctx.font='11px sans-serif';
  for(var i=0;i<marks.labels.length;i+=3)label(marks.labels[i],marks.labels[i+1],marks.labels[i+2]);
  ctx.fillStyle='#c62828';
  crashes.forEach(function(c){var x=(c.x-a)*k;if(x>=-2&&x<=w+2)ctx.fillRect(x-1.5,c.y,3,BARH);});
}
function draw(){
  var w=width(),k=w/(b-a);
  from.value=a.toFixed(3);to.value=b.toFixed(3);
  while(axis.firstChild)axis.removeChild(axis.firstChild);
  var step=Math.pow(10,Math.floor(Math.log10((b-a)/8)));
  if((b-a)/step>40)step*=5;else if((b-a)/step>16)step*=2;
  var ticks=[];
  for(var t=Math.ceil(a/step)*step;t<=b;t+=step){
    var x=LABELW+(t-a)*k,s=document.createElementNS(NS,'text');
    s.setAttribute('x',x+2);s.setAttribute('y',AXISH-10);
    s.textContent=(+t.toFixed(6))+' ms';axis.appendChild(s);ticks.push(x-LABELW);
  }
  paint(k,w,ticks);
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
function decode(t){
  return t.replace(/&(lt|gt|quot|amp);/g,function(e,n){return {lt:'<',gt:'>',quot:'"',amp:'&'}[n];});
}
// The bar under a point of the chart: in its row, the bar at that time, or
// one within two pixels of it.
function barAt(px,py){
  var w=width(),k=w/(b-a),t=a+(px-LABELW)/k;
  for(var r=0;r<rows.length;++r){
    var row=rows[r];
    if(py<row.y||py>=row.y+BARH)continue;
    var i=first(row,t-2/k);
    if(i<row.to&&bars[i].x<=t+2/k)return bars[i];
  }
  return null;
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
// The hovered bar's details, in the header and as the chart's tooltip.
svg.addEventListener('mousemove',function(e){
  if(drag)return;
  var r=svg.getBoundingClientRect(),bar=barAt(e.clientX-r.left,e.clientY-r.top);
  if(!bar)return;
  var t=title(bar);
  detail.textContent=t.replace(/\n/g,' \u00b7 ');
  tip.textContent=t;
});
// For tests and tools: the bars and where a bar is on the screen.
window.timelineBars={
  count:function(){return bars.length+crashes.length;},
  widest:function(){var best=0;for(var i=1;i<bars.length;++i)if(bars[i].w>bars[best].w)best=i;return best;},
  box:function(i){
    var r=svg.getBoundingClientRect(),k=width()/(b-a),bar=bars[i];
    return {x:r.left+LABELW+(bar.x-a)*k,y:r.top+bar.y,width:bar.w*k,height:BARH};
  },
  title:function(i){return title(bars[i]);}
};
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
  replace_all(head, "%LABELW%", std::to_string(label_width));
  buffer_ = head;
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
  if (!scope.context.root.empty()) calls_.add(CallScope::of(scope));
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

// The lane names at the left; `lane_y` gives the script each lane's top.
// Returns the chart height.
int HtmlOutput::write_lanes(const std::vector<Lane>& lanes, std::string& lane_y) {
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
      lane_top_[found->second] = y;
      lane_y += index + ":" + std::to_string(y) + ",";
    }
    y += height + lane_gap;
  }
  return y;
}

// [time, caller row middle, callee row middle] per cross call, for the script.
std::string HtmlOutput::flows() {
  std::string out = "var FLOWS=[";
  auto row_middle = [this](const CallScope& scope) {
    auto lane = lanes_.find({shown_pid(scope.host, scope.pid), scope.tid});
    auto top = lane == lanes_.end() ? lane_top_.end() : lane_top_.find(lane->second);
    int y = top == lane_top_.end() ? 0 : top->second;
    return std::to_string(y + scope.depth * row_height + row_height / 2);
  };
  calls_.find([&](const CallScope& callee, const CallScope& caller) {
    out += '[';
    append_number(out, callee.start_ms - origin_ms_);
    out += ',' + row_middle(caller) + ',' + row_middle(callee) + "],";
  });
  return out + "];";
}

void HtmlOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  buffer_ +=
      "</script>\n<div id=\"plotarea\"><canvas id=\"plot\"></canvas>\n"
      "<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\">\n<g id=\"axis\"></g>\n"
      "<g id=\"flows\"></g>\n<g id=\"names\">\n";
  std::string style = "<style>\n";
  std::string lane_y = "var LANEY={";
  int y = write_lanes(lanes, lane_y);
  style += "#chart{height:" + std::to_string(y) + "px}\n</style>\n";
  buffer_ += "</g>\n</svg></div>\n" + style;
  buffer_ += "<script>document.getElementById('facts').textContent='";
  buffer_ +=
      std::to_string(facts.scopes) + " scopes, " + std::to_string(lanes.size()) + " threads, ";
  append_number(buffer_, facts.last_ms - origin_ms_);
  buffer_ += " ms from the first record; " + std::to_string(facts.unclosed) + " never closed";
  buffer_ += "';" + lane_y + "};" + flows() + "var SPAN=";
  // A little room after the last bar.
  append_number(buffer_, std::max((facts.last_ms - origin_ms_) * 1.02, 1.0));
  buffer_ += ",LABELW=" + std::to_string(label_width) + ",AXISH=" + std::to_string(axis_height) +
             ",HEIGHT=" + std::to_string(y) + ",ROWH=" + std::to_string(row_height) +
             ";</script>\n";
  buffer_ += page_script;
  buffer_ += "</body></html>\n";
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
}

}  // namespace Timeline
