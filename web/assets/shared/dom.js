// Small helpers for building elements without innerHTML, so no text from the service is ever parsed
// as markup.
export function element(tag, className = '', text = null) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== null) node.textContent = text;
  return node;
}

export function clear(node) {
  while (node.firstChild) node.firstChild.remove();
}
