// Injected into a copy of the demo page by scripts/test-page (the page
// itself has no scripts). Once the page has loaded, it appends a <pre
// id="layout-probe"> holding, as JSON: the window's width, the document's
// width and height, every HTML element that reaches past the window's left
// or right edge, and the box of every picture, in page coordinates.
addEventListener('load', () => {
  const width = document.documentElement.clientWidth;
  const overflow = [];
  for (const element of document.body.querySelectorAll('*')) {
    const svg = element.namespaceURI === 'http://www.w3.org/2000/svg';
    if (svg && element.localName !== 'svg') continue;  // inside a picture, which clips it
    const box = element.getBoundingClientRect();
    if (box.width === 0 && box.height === 0) continue;
    if (box.left < -0.5 || box.right > width + 0.5)
      overflow.push(`${element.localName}.${element.getAttribute('class') || ''} ` +
                    `${Math.round(box.left)}..${Math.round(box.right)}`);
  }
  const boxes = [...document.querySelectorAll('svg')].map((picture) => {
    const box = picture.getBoundingClientRect();
    return [box.left + scrollX, box.top + scrollY, box.width, box.height].map(Math.round);
  });
  const probe = document.createElement('pre');
  probe.id = 'layout-probe';
  probe.textContent = JSON.stringify({
    width,
    scrollWidth: document.documentElement.scrollWidth,
    height: document.documentElement.scrollHeight,
    overflow: overflow.slice(0, 20),
    boxes,
  });
  document.body.appendChild(probe);
});
