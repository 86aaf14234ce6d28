// Calls of the tav serve API. The token travels as a cookie set by the
// start URL; the session cookie tells the server which browser drives.

export async function call(method, path, body, raw) {
  const init = { method, headers: {}, credentials: 'same-origin' };
  if (raw !== undefined) {
    init.body = raw;
    init.headers['Content-Type'] = 'application/octet-stream';
  } else if (body !== undefined) {
    init.body = JSON.stringify(body);
    init.headers['Content-Type'] = 'application/json';
  }
  const res = await fetch(path, init);
  let json;
  try {
    json = await res.json();
  } catch {
    json = { code: res.status, message: res.statusText };
  }
  json.httpStatus = res.status;
  return json;
}

export const get = (path) => call('GET', path);
export const post = (path, body) => call('POST', path, body ?? {});
export const upload = (path, bytes) => call('POST', path, undefined, bytes);

// The progress of the running operation, pushed by the server.
export function events(handlers) {
  const source = new EventSource('/api/events');
  for (const [name, fn] of Object.entries(handlers))
    source.addEventListener(name, (e) => fn(JSON.parse(e.data)));
  return source;
}
