// Loaded by pages-test.sh into a copy of a tour page: measures the drawing as the browser laid
// it out, in the drawing's own coordinates, and writes the measures into the page for
// --dump-dom, in <pre id="measured">, one tab-separated line each:
//   text  CLASS  LANE  ROW  X  Y  WIDTH  HEIGHT   the box of each text (LANE and ROW: its data-
//                                                 lane and data-row, or the lane of its group)
//   arrow KIND  X,Y X,Y ...                       points along each arrow, 2 px apart
(function () {
  'use strict';
  const svg = document.querySelector('svg.diagram');
  const lines = [];
  svg.querySelectorAll('text').forEach((t) => {
    const b = t.getBBox();
    const group = t.closest('g.lane');
    const lane = t.dataset.lane || (group ? group.dataset.lane : '');
    lines.push(['text', t.getAttribute('class'), lane, t.dataset.row || '', b.x, b.y, b.width, b.height].join('\t'));
  });
  svg.querySelectorAll('path.arrow').forEach((p) => {
    const points = [];
    const length = p.getTotalLength();
    for (let at = 0; at <= length; at += 2) {
      const q = p.getPointAtLength(at);
      points.push(q.x.toFixed(1) + ',' + q.y.toFixed(1));
    }
    lines.push(['arrow', p.dataset.kind, points.join(' ')].join('\t'));
  });
  const pre = document.createElement('pre');
  pre.id = 'measured';
  pre.textContent = lines.join('\n');
  document.body.appendChild(pre);
})();
